// A CaptureListener that writes down every call with its arguments, for tests that check what
// reaches the recorder form and in which order.
#pragma once

#include <string>
#include <vector>

#include "CaptureListener.h"
#include "com/Bstr.h"
#include "dshow/MediaTypes.h"

struct ListenerCall
{
    enum Kind
    {
        Format,
        SampleError,
        Data,
        Position,
        FileSize,
        GraphError,
        State
    };
    explicit ListenerCall(Kind kind) : kind(kind) {}

    Kind kind;
    bool hasFormat = false;
    WAVEFORMATEX format{};
    bool errorIsNull = false;
    std::string text;
    std::vector<BYTE> bytes;
    double number = 0;
    uint32_t low = 0;
    uint32_t high = 0;
    LONG longs[3] = {0, 0, 0};
};

class RecordingCaptureListener : public CaptureListener
{
public:
    VARIANT_BOOL answer = VARIANT_TRUE;
    std::vector<ListenerCall> calls;

    size_t Count(ListenerCall::Kind kind) const
    {
        size_t count = 0;
        for (const ListenerCall& call : calls)
            count += call.kind == kind;
        return count;
    }

    void OnSampleFormat(const WAVEFORMATEX* format, VARIANT_BOOL* accept) override
    {
        ListenerCall call{ListenerCall::Format};
        call.hasFormat = format != nullptr;
        if (format)
            call.format = *format;
        calls.push_back(call);
        *accept = answer;
    }
    void OnSampleError(BSTR description) override
    {
        ListenerCall call{ListenerCall::SampleError};
        call.errorIsNull = description == nullptr;
        call.text = Bstr(description).Utf8();
        calls.push_back(call);
    }
    void OnSampleData(const BYTE* data, uint32_t size, double time) override
    {
        ListenerCall call{ListenerCall::Data};
        call.bytes.assign(data, data + size);
        call.number = time;
        calls.push_back(std::move(call));
    }
    void OnPositionProgress(double position) override
    {
        ListenerCall call{ListenerCall::Position};
        call.number = position;
        calls.push_back(call);
    }
    void OnFileSizeProgress(uint32_t low, uint32_t high) override
    {
        ListenerCall call{ListenerCall::FileSize};
        call.low = low;
        call.high = high;
        calls.push_back(call);
    }
    void OnGraphError(LONG code, LONG param1, LONG param2) override
    {
        ListenerCall call{ListenerCall::GraphError};
        call.longs[0] = code;
        call.longs[1] = param1;
        call.longs[2] = param2;
        calls.push_back(call);
    }
    void OnGraphStateChange(DSGraphStates state) override
    {
        ListenerCall call{ListenerCall::State};
        call.longs[0] = state;
        calls.push_back(call);
    }
};
