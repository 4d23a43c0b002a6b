// Dialog template 138, the clip attributes dialog: 291 x 204 dialog units; positions in dialog
// units.
#pragma once

#include "DialogTemplate.h"

namespace clip_attributes {

inline constexpr int kWidth = 291;
inline constexpr int kHeight = 204;

enum class Kind
{
    Label,
    LineEdit,
    Group,
    MultiLineEdit,
    PathLine,
    Button,
    DefaultButton
};

using Item = DialogItem<Kind>;

inline constexpr Item kItems[] = {
    {0, Kind::Label, "Title", 7, 7, 52, 11},
    {1011, Kind::LineEdit, "", 59, 7, 225, 12},
    {0, Kind::Label, "Author", 7, 28, 52, 11},
    {1014, Kind::LineEdit, "", 59, 28, 225, 12},
    {0, Kind::Label, "Rating", 7, 50, 52, 11},
    {1020, Kind::LineEdit, "", 59, 49, 225, 12},
    {0, Kind::Label, "Copyright", 7, 71, 52, 11},
    {1021, Kind::LineEdit, "", 59, 70, 225, 12},
    {0, Kind::Group, "Description", 7, 92, 277, 58},
    {1022, Kind::MultiLineEdit, "", 16, 103, 259, 40},
    {1031, Kind::PathLine, "Clip file path static", 7, 156, 277, 23},
    {3, Kind::Button, "Apply", 110, 183, 50, 14},
    {1, Kind::DefaultButton, "OK", 173, 183, 50, 14},
    {2, Kind::Button, "Cancel", 234, 183, 50, 14},
};

} // namespace clip_attributes
