// The window program's one error message format for a failed engine call.
#pragma once

#include <QString>

#include "com/ComError.h"

// "<context> (code 0x<HRESULT>):\n<description>", the HRESULT in unpadded upper-case hex and
// the description from the error's IErrorInfo, or "no additional info is available".
QString FormatComError(const QString& context, const ComError& error);
