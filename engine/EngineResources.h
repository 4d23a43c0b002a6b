// The registration scripts compiled into the module (resources 101 to 107).
#pragma once

#include <string_view>

// The script with that resource number, or an empty view.
std::string_view EngineScript(int id);
