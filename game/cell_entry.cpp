#include "base/number_text.h"
#include "game/world.h"

namespace dungeon {

Outcome World::EnterCell() {
    char symbol = GridAt(hero.x, hero.y);
    if (symbol >= '1' && symbol <= '7') {
        auto number = static_cast<std::int16_t>(ParseInteger(Text::Of(symbol)).value);
        const Item& item = items[number - 1];
        messagePane.Clear();
        messagePane.WriteLine(Text("Quirn findet ") + item.GetName());
        messagePane.WriteLine(item.ConditionText());
        hero.PickUp(item);
        SeenAt(hero.x, hero.y) = 1;
        GridAt(hero.x, hero.y) = kFloor;
        messagePane.WriteLine(Text("Steckt ") + item.GetName() + " in den Rucksack");
        return Outcome::kGoOn;
    }
    if (symbol == kMonster) {
        return Fight();
    }
    return Outcome::kGoOn;
}

}  // namespace dungeon
