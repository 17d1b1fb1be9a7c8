#pragma once

#include <vector>

// The main window's menu as data: popups hold items, separators and popups.
struct MenuNode {
    const char* caption;  // with '&' before the mnemonic; "" for a separator
    int id;               // the command; 0 for separators and popups
    std::vector<MenuNode> children;

    bool is_separator() const { return id == 0 && children.empty(); }
    bool is_popup() const { return !children.empty(); }
};

// The menu bar: File, Edit, Insert, Trace, Help.
const std::vector<MenuNode>& main_menu();

// The View menu's settings show a check mark.
bool is_checkable_command(int id);

// One accelerator: a key in QKeySequence's portable text form and its command.
struct Accelerator {
    const char* key;
    int id;
};
const std::vector<Accelerator>& accelerator_table();

// One icon button of the row above the editor.
struct ToolButtonSpec {
    const char* caption;  // carries the mnemonic; the button shows only its icon
    const char* tooltip;
    int x;
    bool client_edge;  // the run buttons sit in a sunken frame
    int id;
    const char* icon;  // resource path of the SVG icon
};
const std::vector<ToolButtonSpec>& tool_buttons();
constexpr int kToolButtonSize = 32;
