#pragma once

// The option table and the store location: together they are the contract with
// the add-in, which reads the same keys from the same place. Nothing else in the
// program spells a key, a default or the location.

#include <array>
#include <cstdint>

using OptionValue = std::int16_t; // 0 cleared, 1 ticked, 2 grayed (only ever from the store)

struct OptionInfo {
    const char *caption;      // exact text of the option's box
    const char *key;          // settings key; options 3 to 11 use their caption
    OptionValue defaultValue; // used when the key is missing
    bool readAtStart;         // "Hide built-in tabs" is written but never read
    const char *description;  // what the option selects, for tool tips and screen readers
};

inline constexpr int OptionCount = 12;

// The options by name; the value is the index into the table below, which is
// also the index of the option's box in the window.
namespace Option
{
enum Index : int {
    Classic,
    Left,
    All,
    Home,
    PageLayout,
    Insert,
    Formulas,
    Data,
    Review,
    View,
    Developer,
    HideBuiltInTabs,
};
// The built-in tabs that "Hide built-in tabs" is the master of, and the ones
// among them that tick it.
inline constexpr Index FirstTab = Home, FirstHiddenTab = PageLayout, LastTab = Developer;
} // namespace Option

// Index order is the order of reading and writing.
inline constexpr std::array<OptionInfo, OptionCount> kOptionTable{{
    {"Show Classic Menu and Toolbars in Microsoft Excel 2007", "Classic", 1, true,
     "Excel shows the classic menu and toolbars. Every other option needs it."},
    {"Show menus tabs on the left of home tab", "Left", 1, true,
     "The menu tabs stand to the left of Excel's Home tab. Cannot be combined with hiding Home."},
    {"Show all items in main menu", "All", 1, true, "The main menu shows all of its items."},
    {"Home", "Home", 0, true,
     "Hides Excel's built-in Home tab. Cannot be combined with menu tabs on the left."},
    {"Page Layout", "Page Layout", 0, true, "Hides Excel's built-in Page Layout tab."},
    {"Insert", "Insert", 0, true, "Hides Excel's built-in Insert tab."},
    {"Formulas", "Formulas", 0, true, "Hides Excel's built-in Formulas tab."},
    {"Data", "Data", 0, true, "Hides Excel's built-in Data tab."},
    {"Review", "Review", 0, true, "Hides Excel's built-in Review tab."},
    {" View", " View", 0, true, "Hides Excel's built-in View tab."},
    {"Developer", "Developer", 0, true, "Hides Excel's built-in Developer tab."},
    {"Hide built-in tabs", "Hide built-in tabs", 0, false,
     "Hides Excel's built-in tabs. Ticked when none of the eight tabs below is ticked, it "
     "ticks them all, Home included, which clears the menu tabs on the left; otherwise it ticks "
     "nothing more. Clearing it clears all eight."},
}};

// Where the store lives. The section name is also the window caption and title.
inline constexpr const char *kApplication = "Quenmark";
inline constexpr const char *kSection = "Velmora";
// On Windows the add-in reads the branch the classic runtime's GetSetting uses:
// HKEY_CURRENT_USER\Software\VB and VBA Program Settings\<application>\<section>.
// Elsewhere it is the native QSettings file of the user scope, organisation
// <application>, no application name: $XDG_CONFIG_HOME/<application>.conf.
inline constexpr const char *kWindowsStoreRoot =
    "HKEY_CURRENT_USER\\Software\\VB and VBA Program Settings";
