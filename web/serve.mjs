// Serves a folder of static files over HTTP on the loopback address, as any static server
// would: the built site for `./run.sh web`, and the same for the browser test.
//
//   node web/serve.mjs [folder] [port]     (defaults: build/web, 8080)
import fs from 'node:fs';
import http from 'node:http';
import path from 'node:path';
import { fileURLToPath } from 'node:url';

const TYPES = {
  '.html': 'text/html; charset=utf-8',
  '.js': 'text/javascript; charset=utf-8',
  '.css': 'text/css; charset=utf-8',
  '.wasm': 'application/wasm',
  '.json': 'application/json',
  '.map': 'application/json',
  '.webmanifest': 'application/manifest+json',
  '.png': 'image/png',
  '.woff2': 'font/woff2',
  '.txt': 'text/plain; charset=utf-8',
};

// Starts serving `folder` on `port` (0: any free port) of `host`. Resolves to the server
// once it listens; server.address().port tells the port.
export function serveFolder(folder, port, host = '127.0.0.1') {
  const root = path.resolve(folder);
  const server = http.createServer((request, response) => {
    if (request.method !== 'GET' && request.method !== 'HEAD') {
      response.writeHead(405, { Allow: 'GET, HEAD' }).end();
      return;
    }
    let name;
    try {
      name = decodeURIComponent(new URL(request.url, 'http://localhost').pathname);
    } catch {
      response.writeHead(400).end();
      return;
    }
    if (name.endsWith('/')) {
      name += 'index.html';
    }
    const file = path.resolve(root, `.${name}`);
    // Nothing outside the folder, whatever the address says.
    if (!file.startsWith(root + path.sep)) {
      response.writeHead(404).end();
      return;
    }
    fs.stat(file, (error, stats) => {
      if (error || !stats.isFile()) {
        response.writeHead(404, { 'Content-Type': 'text/plain; charset=utf-8' }).end('Not found\n');
        return;
      }
      response.writeHead(200, {
        'Content-Type': TYPES[path.extname(file)] ?? 'application/octet-stream',
        'Content-Length': stats.size,
        'Cache-Control': 'no-cache',
      });
      if (request.method === 'HEAD') {
        response.end();
        return;
      }
      fs.createReadStream(file).pipe(response);
    });
  });
  return new Promise((resolve, reject) => {
    server.once('error', reject);
    server.listen(port, host, () => {
      server.off('error', reject);
      resolve(server);
    });
  });
}

if (process.argv[1] === fileURLToPath(import.meta.url)) {
  const folder = process.argv[2] ?? 'build/web';
  const port = Number(process.argv[3] ?? 8080);
  if (!fs.existsSync(path.join(folder, 'index.html'))) {
    console.error(`${folder}/index.html is missing: build the site first (./run.sh web)`);
    process.exit(1);
  }
  const server = await serveFolder(folder, port).catch((error) => {
    console.error(`Cannot serve on port ${port}: ${error.message}`);
    process.exit(1);
  });
  const { address, port: actualPort } = server.address();
  console.log(`Serving ${folder} on http://${address}:${actualPort}/ (Ctrl+C stops)`);
}
