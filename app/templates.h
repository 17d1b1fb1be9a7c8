#pragma once

// The ready-made blocks of the Insert menu: fixed texts with CR LF line ends
// and tab indents, inserted as they stand.
struct InsertTemplate {
    int command;
    const char* text;
};

// All 22 templates, in the order of the Insert menu.
const InsertTemplate* insert_templates(int& count);
// The template of an Insert command, or nullptr for any other command.
const char* insert_template_text(int command);
