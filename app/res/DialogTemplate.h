// What every dialog template is made of: its controls with their ids, kinds and captions at
// positions in dialog units. Each template names its own kinds of control.
#pragma once

template <class Kind> struct DialogItem
{
    int id; // 0 for a control that nobody addresses
    Kind kind;
    const char* caption;
    int x, y, width, height;
};
