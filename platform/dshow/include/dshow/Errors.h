// Result and event codes of the filter graph services.
#pragma once

#include "com/Types.h"

inline constexpr HRESULT VFW_S_NO_MORE_ITEMS = 0x00040103;
inline constexpr HRESULT VFW_S_DUPLICATE_NAME = 0x0004022D;
inline constexpr HRESULT VFW_S_STATE_INTERMEDIATE = 0x00040237;
inline constexpr HRESULT VFW_S_CANT_CUE = 0x00040268;
inline constexpr HRESULT VFW_S_NO_STOP_TIME = 0x00040270;
inline constexpr HRESULT VFW_E_INVALIDMEDIATYPE = Hr(0x80040200);
inline constexpr HRESULT VFW_E_INVALIDSUBTYPE = Hr(0x80040201);
inline constexpr HRESULT VFW_E_NEED_OWNER = Hr(0x80040202);
inline constexpr HRESULT VFW_E_ENUM_OUT_OF_SYNC = Hr(0x80040203);
inline constexpr HRESULT VFW_E_ALREADY_CONNECTED = Hr(0x80040204);
inline constexpr HRESULT VFW_E_FILTER_ACTIVE = Hr(0x80040205);
inline constexpr HRESULT VFW_E_NO_TYPES = Hr(0x80040206);
inline constexpr HRESULT VFW_E_NO_ACCEPTABLE_TYPES = Hr(0x80040207);
inline constexpr HRESULT VFW_E_INVALID_DIRECTION = Hr(0x80040208);
inline constexpr HRESULT VFW_E_NOT_CONNECTED = Hr(0x80040209);
inline constexpr HRESULT VFW_E_NO_ALLOCATOR = Hr(0x8004020A);
inline constexpr HRESULT VFW_E_RUNTIME_ERROR = Hr(0x8004020B);
inline constexpr HRESULT VFW_E_NOT_COMMITTED = Hr(0x80040211);
inline constexpr HRESULT VFW_E_NO_CLOCK = Hr(0x80040213);
inline constexpr HRESULT VFW_E_NOT_FOUND = Hr(0x80040216);
inline constexpr HRESULT VFW_E_CANNOT_CONNECT = Hr(0x80040217);
inline constexpr HRESULT VFW_E_CANNOT_RENDER = Hr(0x80040218);
inline constexpr HRESULT VFW_E_NOT_STOPPED = Hr(0x80040224);
inline constexpr HRESULT VFW_E_NOT_PAUSED = Hr(0x80040225);
inline constexpr HRESULT VFW_E_NOT_RUNNING = Hr(0x80040226);
inline constexpr HRESULT VFW_E_WRONG_STATE = Hr(0x80040227);
inline constexpr HRESULT VFW_E_START_TIME_AFTER_END = Hr(0x80040228);
inline constexpr HRESULT VFW_E_TYPE_NOT_ACCEPTED = Hr(0x8004022A);
inline constexpr HRESULT VFW_E_SAMPLE_REJECTED = Hr(0x8004022B);
inline constexpr HRESULT VFW_E_NO_TRANSPORT = Hr(0x8004022C);
inline constexpr HRESULT VFW_E_SAMPLE_TIME_NOT_SET = Hr(0x80040249);
inline constexpr HRESULT VFW_E_BUFFER_OVERFLOW = Hr(0x8004020D);
inline constexpr HRESULT VFW_E_MEDIA_TIME_NOT_SET = Hr(0x80040251);
inline constexpr HRESULT VFW_E_NOT_IN_GRAPH = Hr(0x8004025F);
inline constexpr HRESULT VFW_E_UNSUPPORTED_STREAM = Hr(0x80040265);
inline constexpr HRESULT VFW_E_DUPLICATE_NAME = Hr(0x8004028E);
inline constexpr HRESULT VFW_E_UNKNOWN_FILE_TYPE = Hr(0x80040240);
inline constexpr HRESULT VFW_E_INVALID_FILE_FORMAT = Hr(0x8004022F);
inline constexpr HRESULT E_PROP_SET_UNSUPPORTED = Hr(0x80070492);
inline constexpr HRESULT E_PROP_ID_UNSUPPORTED = Hr(0x80070490);

// Graph events (IMediaEvent::GetEvent codes).
inline constexpr LONG EC_COMPLETE = 0x01; // param1: HRESULT of the end of stream
inline constexpr LONG EC_USERABORT = 0x02;
inline constexpr LONG EC_ERRORABORT = 0x03; // param1: HRESULT of the failure
inline constexpr LONG EC_STREAM_ERROR_STOPPED = 0x06;
inline constexpr LONG EC_DEVICE_LOST = 0x1F; // param1: the lost device's IUnknown, param2: 0

// IMediaEventEx::SetNotifyFlags: no window message is posted for pending events.
inline constexpr LONG AM_MEDIAEVENT_NONOTIFY = 0x01;
