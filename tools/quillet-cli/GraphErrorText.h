// What a GraphError event means, in words for the person who ran the command.
#pragma once

#include <string>

#include "com/Types.h"

// The event's meaning: "the disk is full (0x80070070)" for an abort with that HRESULT, "the
// capture device was removed" for a lost device (whose parameter is no code at all), and
// "event CODE (PARAMETER)" for a code that the engine does not report.
std::string GraphErrorText(LONG code, LONG parameter);

// The words alone, empty where there are none: what the error line of the event carries.
std::string GraphErrorWords(LONG code, LONG parameter);

// Whether the event's first parameter is an HRESULT (EC_ERRORABORT) rather than a meaningless
// value (EC_DEVICE_LOST passes the filter's address).
bool GraphErrorHasResult(LONG code);
