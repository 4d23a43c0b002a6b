// Form template 136, the recorder form: 374 x 223 dialog units; positions in dialog units.
#pragma once

#include "DialogTemplate.h"

namespace recorder_form {

inline constexpr int kWidth = 374;
inline constexpr int kHeight = 223;

enum class Kind
{
    Group,
    Label,
    CentredLabel,
    RightLabel,
    DropDown,
    DigitsEdit,
    CheckBox,
    UpDown,
    Progress,
    Button,
    Slider,
    Placeholder,
    PathEdit
};

using Item = DialogItem<Kind>;

inline constexpr Item kItems[] = {
    {0, Kind::Group, "Capture source", 6, 6, 360, 44},
    {0, Kind::CentredLabel, "Name", 12, 16, 159, 10},
    {1008, Kind::DropDown, "", 12, 30, 160, 41},
    {0, Kind::CentredLabel, "Input pin", 200, 16, 160, 10},
    {1007, Kind::DropDown, "", 200, 30, 160, 40},
    {0, Kind::Group, "Encoding profile", 6, 55, 360, 64},
    {0, Kind::Label, "Version", 12, 71, 28, 12},
    {1030, Kind::DropDown, "", 45, 71, 32, 47},
    {1001, Kind::Placeholder, "Profile description", 93, 66, 267, 29},
    {0, Kind::Label, "Name", 12, 101, 28, 12},
    {1009, Kind::DropDown, "", 45, 101, 315, 64},
    {0, Kind::Group, "Output file", 6, 124, 360, 46},
    {1019, Kind::PathEdit, "", 12, 137, 223, 14},
    {1025, Kind::CheckBox, "", 250, 140, 12, 10},
    {0, Kind::Label, "Limit size to", 264, 139, 44, 12},
    {1010, Kind::DigitsEdit, "", 311, 139, 34, 12},
    {1012, Kind::UpDown, "", 333, 129, 12, 12},
    {0, Kind::Label, "KB", 348, 139, 12, 12},
    {1039, Kind::RightLabel, "CLIP LENGTH LIMIT INFO", 12, 155, 348, 12},
    {1040, Kind::Progress, "", 5, 178, 120, 6},
    {1043, Kind::Label, "Clip info text", 142, 174, 140, 13},
    {1015, Kind::Button, "Record", 6, 191, 26, 17},
    {1016, Kind::Button, "Pause", 38, 191, 29, 17},
    {1017, Kind::Button, "Stop", 74, 191, 29, 17},
    {1018, Kind::Button, "Play", 106, 191, 25, 17},
    {0, Kind::Label, "Record level", 148, 189, 60, 11},
    {1027, Kind::Slider, "", 212, 189, 64, 12},
    {0, Kind::Label, "Playback volume", 148, 203, 64, 12},
    {1026, Kind::Slider, "", 212, 203, 64, 12},
    {0, Kind::Group, "Input signal", 287, 179, 79, 38},
    {1023, Kind::Placeholder, "Graph", 293, 189, 68, 24},
};

} // namespace recorder_form
