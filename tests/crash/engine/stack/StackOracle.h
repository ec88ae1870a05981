// The unwinder of the C++ runtime as the oracle of the call-stack walk: the
// frames of our own code it lists at a point, and the check that a walk's
// items hold them, in order.
#pragma once
#include <windows.h>

#include <unwind.h>

#include <cstdio>
#include <string>
#include <vector>

#include "crash/engine/stack/CallStack.h"
#include "rtl/ExceptHooks.h"

namespace stacktest {

struct Frame {
    std::uintptr_t Ip;     // the return address the unwinder found
    const void* Function;  // the function it lies in
    bool Exact;            // the walk must find this very call, not just its function
};

inline const void* FunctionOf(std::uintptr_t address)
{
    return _Unwind_FindEnclosingFunction(reinterpret_cast<void*>(address));
}

// The frames of our own code above the caller of OwnFrames, outermost last.
// The caller's own frame is matched by function only: it goes on to other
// calls after this one.
__attribute__((noinline)) inline std::vector<Frame> OwnFrames()
{
    struct State {
        std::vector<Frame> frames;
        int depth = 0;
    } state;
    _Unwind_Backtrace(
        [](_Unwind_Context* context, void* parameter) {
            auto* s = static_cast<State*>(parameter);
            const auto ip = static_cast<std::uintptr_t>(_Unwind_GetIP(context));
            // Frame 0 is this function.
            if (s->depth++ > 0 && ip != 0 && rtl::IsOwnCode(reinterpret_cast<const void*>(ip - 1)))
                s->frames.push_back({ip, FunctionOf(ip - 1), s->depth > 2});
            return _URC_NO_REASON;
        },
        &state);
    return state.frames;
}

// Empty when every frame has a visible item in the list, in order (an exact
// frame at its call: 2 to 7 bytes before its return address); else what is
// missing.
inline std::string MissingFrames(const crash::TVexlorStackList& list, const std::vector<Frame>& frames)
{
    int at = 0;
    for (std::size_t f = 0; f < frames.size(); ++f) {
        const Frame& frame = frames[f];
        int found = -1;
        for (int i = at; i < list.Count() && found < 0; ++i) {
            const crash::TVexlorDebugInfo& item = *list.GetItem(i);
            if (item.DebugDetail == crash::ddNone || FunctionOf(item.Addr) != frame.Function) continue;
            if (frame.Exact && (item.Addr + 7 < frame.Ip || item.Addr + 2 > frame.Ip)) continue;
            found = i;
        }
        if (found < 0) {
            char text[160];
            std::snprintf(text, sizeof text,
                          "frame %u of %u (return address %08X in function %p) not found after item %d of %d",
                          static_cast<unsigned>(f), static_cast<unsigned>(frames.size()),
                          static_cast<unsigned>(frame.Ip), frame.Function, at, list.Count());
            return text;
        }
        at = found + 1;
    }
    return {};
}

inline std::string Describe(const crash::TVexlorStackList& list)
{
    std::string text;
    for (int i = 0; i < list.Count(); ++i) {
        const crash::TVexlorDebugInfo& item = *list.GetItem(i);
        char line[64];
        std::snprintf(line, sizeof line, "\n%3d %08X %d %p ", i, static_cast<unsigned>(item.Addr), item.DebugDetail,
                      FunctionOf(item.Addr));
        text += line;
        text += item.UnitName.Str() + " " + item.ClassName.Str() + " " + item.ProcedureName.Str() + " " +
                std::to_string(item.Line);
    }
    return text;
}

}  // namespace stacktest
