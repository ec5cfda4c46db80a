#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "console/console.h"
#include "objects/backpack.h"
#include "objects/hero.h"
#include "objects/item.h"
#include "objects/monster.h"
#include "platform/memory/memory_platform.h"
#include "tests/memory_screen.h"

namespace dungeon {
namespace {

using test_support::ScreenRow;

struct RosterEntry {
    const char* name;
    double value, attackBonus, armorBonus, specialBonus, weight;
};

// The seven items the game starts with, all at condition 100 of 100.
// clang-format off
constexpr RosterEntry kRoster[] = {
    {"Krummsaebel", 10, 30,  0, 0, 7},
    {"Degen",       15, 20,  0, 0, 1},
    {"Goldbrocken", 50,  0,  0, 2, 5},
    {"Schild",       5,  0, 20, 0, 5},
    {"Dolch",       15, 20,  0, 0, 3},
    {"Helm",         5,  0, 20, 0, 5},
    {"Universal",    5,  5,  5, 5, 5},
};
// clang-format on

// Items live with a pane on the screen, so every test that builds one runs on an
// 80x40 in-memory screen, tall enough for the item panes at rows 30..39.
class ObjectsTest : public ::testing::Test {
  protected:
    void SetUp() override { ASSERT_TRUE(TheConsole().Start(platform_)); }
    // The console is given back, so that no test leaves it on a platform that is gone.
    void TearDown() override { TheConsole().Finish(); }

    static Item Roster(int k) {
        const RosterEntry& e = kRoster[k - 1];
        Item item;
        item.Init(e.name, e.value, e.attackBonus, e.armorBonus, e.specialBonus, e.weight, 100, 100);
        return item;
    }

    static Item Named(const char* name, double attackBonus = 0) {
        Item item;
        item.Init(name, 1, attackBonus, 0, 0, 1, 100, 100);
        return item;
    }

    // Columns 41..60 of a screen row: the width of an item pane.
    std::string ItemPaneRow(int y) const { return ScreenRow(platform_, y).substr(40, 20); }

    MemoryPlatform platform_{80, 40};
};

Hero StartingHero() {
    Hero hero;
    hero.Init("Quirn", 5, 5, 80, 50, 3, 3);
    return hero;
}

// ---- Hero ----------------------------------------------------------------------------

TEST(HeroTest, WallHitsTakeAShareOfLifeAndCompound) {
    Hero hero = StartingHero();
    EXPECT_EQ(hero.x, 3);
    EXPECT_EQ(hero.y, 3);
    EXPECT_EQ(hero.GetName(), "Quirn");
    EXPECT_EQ(hero.StatusText(), " L:   5 A:  80 R: 50");

    hero.TakeHit(3);  // armor 50 halves it to 1.5 %
    EXPECT_DOUBLE_EQ(hero.life, 4.925);
    EXPECT_DOUBLE_EQ(hero.attack, 78.8);
    EXPECT_DOUBLE_EQ(hero.armor, 49.25);
    EXPECT_EQ(hero.StatusText(), " L:   5 A:  79 R: 49");

    hero.TakeHit(3);  // effective 3 * (1 - 0.4925) = 1.5225
    EXPECT_DOUBLE_EQ(hero.life, 4.850016875);
    EXPECT_DOUBLE_EQ(hero.attack, 78.8 * 0.970003375);
    EXPECT_DOUBLE_EQ(hero.armor, 49.25 * 0.970003375);
    EXPECT_DOUBLE_EQ(hero.maxLife, 5);

    Hero strong = StartingHero();
    strong.TakeHit(20);
    EXPECT_DOUBLE_EQ(strong.life, 4.5);
    EXPECT_DOUBLE_EQ(strong.attack, 72);
    EXPECT_DOUBLE_EQ(strong.armor, 45);
}

TEST(HeroTest, DeathIsStrictlyBelowOneHalf) {
    Hero hero = StartingHero();
    hero.life = 0.5;
    EXPECT_FALSE(hero.IsDead());
    hero.life = 0.4999;
    EXPECT_TRUE(hero.IsDead());

    // Without armor a hit above 100 % leaves life negative.
    Hero bare;
    bare.Init("Quirn", 5, 5, 80, 0, 3, 3);
    bare.TakeHit(150);
    EXPECT_DOUBLE_EQ(bare.life, -2.5);
    EXPECT_DOUBLE_EQ(bare.attack, -40);
    EXPECT_TRUE(bare.IsDead());
}

TEST(HeroTest, NegativeArmorHasNoLowerBound) {
    Hero hero;
    hero.Init("Quirn", 5, 5, 80, -50, 3, 3);
    EXPECT_DOUBLE_EQ(hero.TotalArmor(), -50);
    hero.TakeHit(10);  // effective 15
    EXPECT_DOUBLE_EQ(hero.life, 4.25);
    EXPECT_DOUBLE_EQ(hero.armor, -42.5);
}

TEST_F(ObjectsTest, HeroArmorIsCappedAtHundredYetStillRescales) {
    Hero hero;
    hero.Init("Quirn", 4, 5, 80, 60, 3, 3);
    Item shield = Named("Schild");
    shield.armorBonus = 30;
    Item helm = Named("Helm");
    helm.armorBonus = 20;
    hero.PickUp(shield);
    hero.PickUp(helm);
    EXPECT_DOUBLE_EQ(hero.TotalArmor(), 100);
    EXPECT_EQ(hero.StatusText(), " L:   4 A:  80 R:100");

    // The hit takes no life, but life is below maxLife, so attack and armor shrink.
    hero.TakeHit(50);
    EXPECT_DOUBLE_EQ(hero.life, 4);
    EXPECT_DOUBLE_EQ(hero.attack, 64);
    EXPECT_DOUBLE_EQ(hero.armor, 48);
    EXPECT_DOUBLE_EQ(hero.TotalArmor(), 98);
}

TEST_F(ObjectsTest, HeroCarriedBonusesAddUpButAreNotScaledByHits) {
    Hero hero = StartingHero();
    hero.PickUp(Roster(1));  // Krummsaebel, attack bonus 30
    EXPECT_DOUBLE_EQ(hero.TotalAttack(), 110);
    EXPECT_EQ(hero.StatusText(), " L:   5 A: 110 R: 50");

    hero.TakeHit(20);
    EXPECT_DOUBLE_EQ(hero.attack, 72);
    EXPECT_DOUBLE_EQ(hero.backpack.slots[0].attackBonus, 30);
    EXPECT_DOUBLE_EQ(hero.TotalAttack(), 102);

    Hero equipped = StartingHero();
    for (int k = 1; k <= 7; ++k) {
        equipped.PickUp(Roster(k));
    }
    EXPECT_DOUBLE_EQ(equipped.TotalAttack(), 155);
    EXPECT_DOUBLE_EQ(equipped.TotalArmor(), 95);

    // Init empties the backpack again.
    equipped.Init("Quirn", 5, 5, 80, 50, 3, 3);
    EXPECT_EQ(equipped.backpack.count, 0);
    EXPECT_DOUBLE_EQ(equipped.TotalAttack(), 80);
}

// ---- Monster -------------------------------------------------------------------------

TEST(MonsterTest, TwoHitsCompoundAsInTheFight) {
    Monster spider;
    spider.Init("Spider1", 2, 2, 40, 30, 0, 0);
    EXPECT_EQ(spider.GetName(), "Spider1");
    EXPECT_EQ(spider.StatusText(), " L:  2 A: 40 R: 30");

    spider.TakeHit(80);  // effective 56
    EXPECT_DOUBLE_EQ(spider.life, 0.88);
    EXPECT_DOUBLE_EQ(spider.GetAttack(), 17.6);
    EXPECT_DOUBLE_EQ(spider.armor, 13.2);
    EXPECT_FALSE(spider.IsDead());
    EXPECT_EQ(spider.StatusText(), " L:  1 A: 18 R: 13");

    spider.TakeHit(80);  // effective 69.44
    EXPECT_DOUBLE_EQ(spider.life, 0.268928);
    EXPECT_DOUBLE_EQ(spider.attack, 17.6 * 0.134464);
    EXPECT_DOUBLE_EQ(spider.armor, 13.2 * 0.134464);
    EXPECT_TRUE(spider.IsDead());
    EXPECT_EQ(spider.StatusText(), " L:  0 A:  2 R:  2");
}

TEST(MonsterTest, HalfLifeMonsterIsScaledOnlyAtItsFirstHit) {
    Monster slime;
    slime.Init("Schlabber1", 1, 2, 30, 10, 0, 0);
    EXPECT_DOUBLE_EQ(slime.GetAttack(), 30);
    slime.TakeHit(0);  // no life lost, the rescale still halves
    EXPECT_DOUBLE_EQ(slime.life, 1);
    EXPECT_DOUBLE_EQ(slime.attack, 15);
    EXPECT_DOUBLE_EQ(slime.armor, 5);

    Monster other;
    other.Init("Schlabber3", 1, 2, 30, 10, 0, 0);
    other.TakeHit(50);  // effective 45: life 0.55, ratio 0.275
    EXPECT_DOUBLE_EQ(other.life, 0.55);
    EXPECT_DOUBLE_EQ(other.attack, 8.25);
    EXPECT_DOUBLE_EQ(other.armor, 2.75);

    other.life = 0.5;
    EXPECT_FALSE(other.IsDead());
    other.life = 0.4999;
    EXPECT_TRUE(other.IsDead());
}

TEST(MonsterTest, ArmorIsUncappedAndHitsOfHundredOrMoreKill) {
    Monster tank;
    tank.Init("Tyrannus", 2, 2, 50, 150, 0, 0);
    tank.TakeHit(20);  // effective -10: the hit heals
    EXPECT_DOUBLE_EQ(tank.life, 2.2);
    EXPECT_DOUBLE_EQ(tank.attack, 55);
    EXPECT_DOUBLE_EQ(tank.armor, 165);
    EXPECT_EQ(tank.StatusText(), " L:  2 A: 55 R:165");

    Monster exact;
    exact.Init("Spider2", 2, 2, 40, 0, 0, 0);
    exact.TakeHit(100);
    EXPECT_EQ(exact.life, 0);
    EXPECT_EQ(exact.attack, 0);
    EXPECT_EQ(exact.armor, 0);
    EXPECT_TRUE(exact.IsDead());

    Monster over;
    over.Init("Spider3", 2, 2, 40, 20, 0, 0);
    over.TakeHit(150);  // effective 120
    EXPECT_DOUBLE_EQ(over.life, -0.4);
    EXPECT_DOUBLE_EQ(over.attack, -8);
    EXPECT_DOUBLE_EQ(over.armor, -4);
    EXPECT_TRUE(over.IsDead());
}

TEST(MonsterTest, ZeroMaxLifeGivesNonFiniteStatsWithoutTrapping) {
    Monster odd;
    odd.Init("Leer", 2, 0, 40, 30, 0, 0);
    odd.TakeHit(10);
    EXPECT_DOUBLE_EQ(odd.life, 1.86);
    EXPECT_FALSE(std::isfinite(odd.attack));
    EXPECT_FALSE(std::isfinite(odd.armor));
}

// ---- Item ----------------------------------------------------------------------------

TEST_F(ObjectsTest, ItemInitBlanksItsPaneAndStoresTheStats) {
    // Marks around and inside the pane's rectangle, already on the console at start-up.
    for (int y = 29; y <= 40; ++y) {
        for (int x = 40; x <= 61; ++x) {
            platform_.Show(x, y, Cell{'#', 7});
        }
    }
    ASSERT_TRUE(TheConsole().Start(platform_));
    Item sabre = Roster(1);
    EXPECT_EQ(sabre.pane.x1, 41);
    EXPECT_EQ(sabre.pane.y1, 30);
    EXPECT_EQ(sabre.pane.x2, 60);
    EXPECT_EQ(sabre.pane.y2, 39);
    EXPECT_EQ(sabre.pane.line, 1);
    EXPECT_EQ(ScreenRow(platform_, 29).substr(39, 22), std::string(22, '#'));
    for (int y = 30; y <= 39; ++y) {
        EXPECT_EQ(ScreenRow(platform_, y).substr(39, 22), "#" + std::string(20, ' ') + "#") << y;
    }
    EXPECT_EQ(ScreenRow(platform_, 40).substr(39, 22), std::string(22, '#'));

    EXPECT_EQ(sabre.GetName(), "Krummsaebel");
    EXPECT_EQ(sabre.value, 10);
    EXPECT_EQ(sabre.attackBonus, 30);
    EXPECT_EQ(sabre.weight, 7);
    EXPECT_EQ(sabre.condition, 100);
    EXPECT_EQ(sabre.maxCondition, 100);
}

TEST_F(ObjectsTest, ItemDamageCompoundsAndReportsBreakage) {
    Item sabre = Roster(1);
    sabre.Damage(50);
    EXPECT_DOUBLE_EQ(sabre.condition, 50);
    EXPECT_DOUBLE_EQ(sabre.attackBonus, 15);
    sabre.Damage(50);
    EXPECT_DOUBLE_EQ(sabre.condition, 25);
    EXPECT_DOUBLE_EQ(sabre.attackBonus, 3.75);
    EXPECT_DOUBLE_EQ(sabre.weight, 7);
    EXPECT_EQ(ItemPaneRow(30), std::string(20, ' '));
    EXPECT_EQ(sabre.pane.line, 1);

    Item universal = Roster(7);
    universal.Damage(100);
    EXPECT_EQ(universal.condition, 0);
    EXPECT_EQ(universal.value, 0);
    EXPECT_EQ(universal.attackBonus, 0);
    EXPECT_EQ(universal.armorBonus, 0);
    EXPECT_EQ(universal.specialBonus, 0);
    EXPECT_EQ(universal.weight, 5);
    EXPECT_EQ(ItemPaneRow(30), "Universal ist kaputt");

    Item dagger = Roster(5);
    dagger.Damage(150);
    EXPECT_DOUBLE_EQ(dagger.condition, -50);
    EXPECT_DOUBLE_EQ(dagger.value, -7.5);
    EXPECT_DOUBLE_EQ(dagger.attackBonus, -10);
    // The dagger's Init blanked the pane again; its own line cursor starts on row 30.
    EXPECT_EQ(ItemPaneRow(30), "Dolch ist kaputt    ");

    // A negative amount raises the condition past the maximum.
    Item helm = Roster(6);
    helm.Damage(-50);
    EXPECT_DOUBLE_EQ(helm.condition, 150);
    EXPECT_DOUBLE_EQ(helm.armorBonus, 30);
}

TEST_F(ObjectsTest, ItemRepairIsCappedAndNeverGivesBackLostStats) {
    Item fresh = Roster(2);
    fresh.Repair(30);
    EXPECT_EQ(fresh.condition, 100);
    EXPECT_EQ(fresh.attackBonus, 20);
    EXPECT_EQ(ItemPaneRow(30), "Degen repariert.    ");

    Item worn = Roster(2);
    worn.Damage(50);
    worn.Repair(0);  // still at half: the stats are halved once more
    EXPECT_DOUBLE_EQ(worn.condition, 50);
    EXPECT_DOUBLE_EQ(worn.attackBonus, 5);
    worn.Repair(100);
    EXPECT_DOUBLE_EQ(worn.condition, 100);
    EXPECT_DOUBLE_EQ(worn.attackBonus, 5);
    EXPECT_EQ(worn.pane.line, 3);
    EXPECT_EQ(ItemPaneRow(31), "Degen repariert.    ");
}

TEST_F(ObjectsTest, ItemPatchLowersTheMaximumByATenth) {
    Item shield = Roster(4);
    shield.Patch();
    EXPECT_DOUBLE_EQ(shield.maxCondition, 90);
    EXPECT_DOUBLE_EQ(shield.condition, 90);
    EXPECT_DOUBLE_EQ(shield.armorBonus, 20);
    EXPECT_EQ(ItemPaneRow(30), "Schild geflickt.    ");
    EXPECT_EQ(shield.ConditionText(), "Schild hat den Zustand: 100%");
}

TEST_F(ObjectsTest, ItemConditionTextIsAWholePercentOfWidthTwo) {
    Item rapier = Roster(2);
    EXPECT_EQ(rapier.ConditionText(), "Degen hat den Zustand: 100%");
    rapier.condition = 50;
    EXPECT_EQ(rapier.ConditionText(), "Degen hat den Zustand: 50%");
    rapier.condition = 5;
    EXPECT_EQ(rapier.ConditionText(), "Degen hat den Zustand:  5%");
    rapier.condition = 0;
    EXPECT_EQ(rapier.ConditionText(), "Degen hat den Zustand:  0%");

    // A maximum of 0 must not trap: the ratio is simply not finite.
    Item odd;
    odd.Init("Leer", 10, 10, 10, 10, 1, 50, 0);
    odd.Rescale();
    EXPECT_FALSE(std::isfinite(odd.attackBonus));
}

TEST_F(ObjectsTest, ItemCopiesAreIndependentAndCarryTheirOwnPaneRecord) {
    Item original = Roster(1);
    Item copy = original;
    original.Damage(50);
    EXPECT_DOUBLE_EQ(copy.attackBonus, 30);
    EXPECT_DOUBLE_EQ(copy.condition, 100);

    original.Repair(0);
    EXPECT_EQ(original.pane.line, 2);
    EXPECT_EQ(copy.pane.line, 1);
    copy.Patch();  // same rectangle, own line cursor: writes on row 30 again
    EXPECT_EQ(copy.pane.line, 2);
    EXPECT_EQ(ItemPaneRow(30), "Krummsaebel geflickt");
}

// ---- Backpack ------------------------------------------------------------------------

TEST_F(ObjectsTest, EmptyBackpackHoldsNothing) {
    Backpack pack;
    pack.Clear();
    pack.Remove(1);
    pack.DamageAll(100);
    EXPECT_EQ(pack.count, 0);
    EXPECT_EQ(pack.SumValue(), 0);
    EXPECT_EQ(pack.SumAttackBonus(), 0);
    EXPECT_EQ(pack.SumArmorBonus(), 0);
    EXPECT_EQ(pack.SumWeight(), 0);
    EXPECT_TRUE(pack.ListNames().Empty());
    EXPECT_EQ(ItemPaneRow(30), std::string(20, ' '));
}

TEST_F(ObjectsTest, BackpackHoldsTwentyAndIgnoresMore) {
    Backpack pack;
    for (int i = 1; i <= Backpack::kSlots; ++i) {
        pack.Add(Named(("I" + std::to_string(i)).c_str()));
    }
    pack.Add(Named("Extra"));
    EXPECT_EQ(pack.count, 20);
    for (int i = 1; i <= Backpack::kSlots; ++i) {
        EXPECT_EQ(pack.slots[i - 1].name, Text(("I" + std::to_string(i)).c_str()));
    }

    pack.Clear();
    pack.Add(Named("Neu"));
    EXPECT_EQ(pack.count, 1);
    EXPECT_EQ(pack.slots[0].name, "Neu");
}

TEST_F(ObjectsTest, BackpackRemoveMovesTheLastItemIntoTheGap) {
    auto names = [](const Backpack& pack) {
        std::string s;
        for (int i = 0; i < pack.count; ++i) {
            s += pack.slots[i].name.View();
        }
        return s;
    };
    Backpack xyz;
    xyz.Add(Named("X"));
    xyz.Add(Named("Y"));
    xyz.Add(Named("Z"));

    Backpack pack = xyz;
    pack.Remove(2);
    EXPECT_EQ(names(pack), "XZ");
    pack = xyz;
    pack.Remove(1);
    EXPECT_EQ(names(pack), "ZY");
    pack = xyz;
    pack.Remove(3);
    EXPECT_EQ(names(pack), "XY");
    pack = xyz;
    pack.Remove(4);
    EXPECT_EQ(names(pack), "XYZ");
    // Below 1 there is no slot: ignored rather than reaching in front of the array.
    pack.Remove(0);
    pack.Remove(-1);
    EXPECT_EQ(names(pack), "XYZ");
}

TEST_F(ObjectsTest, BackpackListNamesEndsEachNameWithLineFeedThenReturn) {
    Backpack pack;
    pack.Add(Roster(2));
    pack.Add(Roster(6));
    const Text list = pack.ListNames();
    EXPECT_EQ(list.Length(), 13);
    EXPECT_EQ(list, "Degen\n\rHelm\n\r");

    Backpack full;
    for (int i = 0; i < Backpack::kSlots; ++i) {
        full.Add(Named("Zwanzig Zeichen Name"));
    }
    const Text cut = full.ListNames();
    EXPECT_EQ(cut.Length(), Text::kCapacity);
    EXPECT_EQ(cut.View().substr(242), "Zwanzig Zeich");
}

TEST_F(ObjectsTest, BackpackSumsTheRosterAndCountsDuplicatesTwice) {
    Backpack pack;
    for (int k = 1; k <= 7; ++k) {
        pack.Add(Roster(k));
    }
    EXPECT_DOUBLE_EQ(pack.SumValue(), 105);
    EXPECT_DOUBLE_EQ(pack.SumAttackBonus(), 75);
    EXPECT_DOUBLE_EQ(pack.SumArmorBonus(), 45);
    EXPECT_DOUBLE_EQ(pack.SumWeight(), 31);

    pack.Add(Roster(1));
    EXPECT_DOUBLE_EQ(pack.SumAttackBonus(), 105);
    EXPECT_DOUBLE_EQ(pack.SumValue(), 115);
}

TEST_F(ObjectsTest, BackpackCopiesAreIndependentOfTheWorldItem) {
    Item worldItem = Roster(2);
    Backpack pack;
    pack.Add(worldItem);
    worldItem.Damage(50);
    EXPECT_DOUBLE_EQ(pack.slots[0].attackBonus, 20);
    pack.DamageAll(50);
    EXPECT_DOUBLE_EQ(pack.slots[0].attackBonus, 10);
    EXPECT_DOUBLE_EQ(worldItem.attackBonus, 10);
    EXPECT_DOUBLE_EQ(worldItem.condition, 50);
}

TEST_F(ObjectsTest, BackpackDamageAllBreaksEveryItemInItsOwnPane) {
    Backpack pack;
    pack.Add(Roster(2));
    pack.Add(Roster(6));
    pack.DamageAll(100);
    EXPECT_EQ(pack.SumAttackBonus(), 0);
    EXPECT_EQ(pack.SumArmorBonus(), 0);
    EXPECT_DOUBLE_EQ(pack.SumWeight(), 6);
    // Each copy keeps its own line cursor, so both lines land on the pane's first row.
    EXPECT_EQ(ItemPaneRow(30), "Helm ist kaputtt    ");
    EXPECT_EQ(ItemPaneRow(31), std::string(20, ' '));
}

}  // namespace
}  // namespace dungeon
