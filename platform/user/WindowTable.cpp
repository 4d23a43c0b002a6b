#include "WindowTable.h"

#include "com/DebugLog.h"

#include <cstring>

namespace quillet::user {

WindowTable& WindowTable::Instance()
{
    // Never destroyed: threads that end after main returns still clean up through it.
    static WindowTable* table = new WindowTable;
    return *table;
}

HWND WindowTable::Add(WindowRecord record)
{
    std::lock_guard lock(mutex);
    HWND hwnd = reinterpret_cast<HWND>(nextHandle);
    windows.emplace(hwnd, std::move(record));
    ++nextHandle;
    return hwnd;
}

std::optional<WindowRef> WindowTable::Find(HWND hwnd)
{
    std::lock_guard lock(mutex);
    auto found = windows.find(hwnd);
    if (found == windows.end())
        return std::nullopt;
    return WindowRef{found->second.threadId, found->second.proc, found->second.queue};
}

bool WindowTable::Post(HWND hwnd, const MSG& msg)
{
    std::lock_guard lock(mutex);
    auto found = windows.find(hwnd);
    if (found == windows.end())
        return false;
    found->second.queue->Post(msg);
    return true;
}

LONG_PTR WindowTable::GetLong(HWND hwnd, int index, LONG* error)
{
    std::lock_guard lock(mutex);
    auto found = windows.find(hwnd);
    if (found == windows.end()) {
        *error = ERROR_INVALID_WINDOW_HANDLE;
        return 0;
    }
    WindowRecord& window = found->second;
    switch (index) {
    case GWLP_USERDATA:
        return window.userData;
    case GWLP_WNDPROC:
        return reinterpret_cast<LONG_PTR>(window.proc);
    case GWLP_HINSTANCE:
        return reinterpret_cast<LONG_PTR>(window.instance);
    case GWLP_ID:
        return window.id;
    default:
        break;
    }
    if (index < 0 || size_t(index) + sizeof(LONG_PTR) > window.extraBytes.size()) {
        *error = ERROR_INVALID_INDEX;
        return 0;
    }
    LONG_PTR value = 0;
    std::memcpy(&value, window.extraBytes.data() + index, sizeof value);
    return value;
}

LONG_PTR WindowTable::SetLong(HWND hwnd, int index, LONG_PTR value, LONG* error)
{
    std::lock_guard lock(mutex);
    auto found = windows.find(hwnd);
    if (found == windows.end()) {
        *error = ERROR_INVALID_WINDOW_HANDLE;
        return 0;
    }
    WindowRecord& window = found->second;
    LONG_PTR previous = 0;
    switch (index) {
    case GWLP_USERDATA:
        previous = window.userData;
        window.userData = value;
        return previous;
    case GWLP_WNDPROC:
        if (!value) {
            // A window without a procedure would crash the next dispatch.
            *error = ERROR_INVALID_PARAMETER;
            return 0;
        }
        previous = reinterpret_cast<LONG_PTR>(window.proc);
        window.proc = reinterpret_cast<WNDPROC>(value);
        return previous;
    case GWLP_HINSTANCE:
        previous = reinterpret_cast<LONG_PTR>(window.instance);
        window.instance = reinterpret_cast<HINSTANCE>(value);
        return previous;
    case GWLP_ID:
        previous = window.id;
        window.id = value;
        return previous;
    default:
        break;
    }
    if (index < 0 || size_t(index) + sizeof(LONG_PTR) > window.extraBytes.size()) {
        *error = ERROR_INVALID_INDEX;
        return 0;
    }
    std::memcpy(&previous, window.extraBytes.data() + index, sizeof previous);
    std::memcpy(window.extraBytes.data() + index, &value, sizeof value);
    return previous;
}

LONG WindowTable::BeginDestroy(HWND hwnd, DWORD threadId, bool* already)
{
    std::lock_guard lock(mutex);
    auto found = windows.find(hwnd);
    if (found == windows.end())
        return ERROR_INVALID_WINDOW_HANDLE;
    if (found->second.threadId != threadId)
        return ERROR_ACCESS_DENIED;
    *already = found->second.destroying;
    found->second.destroying = true;
    return ERROR_SUCCESS;
}

std::shared_ptr<MessageQueue> WindowTable::Remove(HWND hwnd, MESSAGEDISPOSER* disposer)
{
    std::lock_guard lock(mutex);
    *disposer = nullptr;
    auto found = windows.find(hwnd);
    if (found == windows.end())
        return nullptr;
    *disposer = found->second.disposer;
    std::shared_ptr<MessageQueue> queue = std::move(found->second.queue);
    windows.erase(found);
    return queue;
}

LONG WindowTable::SetDisposer(HWND hwnd, DWORD threadId, MESSAGEDISPOSER disposer)
{
    std::lock_guard lock(mutex);
    auto found = windows.find(hwnd);
    if (found == windows.end())
        return ERROR_INVALID_WINDOW_HANDLE;
    if (found->second.threadId != threadId)
        return ERROR_ACCESS_DENIED;
    found->second.disposer = disposer;
    return ERROR_SUCCESS;
}

std::vector<std::pair<HWND, MESSAGEDISPOSER>> WindowTable::RemoveThread(DWORD threadId)
{
    std::vector<std::pair<HWND, MESSAGEDISPOSER>> withDisposers;
    std::lock_guard lock(mutex);
    // The ending thread still holds its queue, so no queue is destroyed under this lock.
    for (auto it = windows.begin(); it != windows.end();) {
        if (it->second.threadId == threadId) {
            QUILLET_LOG("user", "window %p: thread %u ended, window dropped",
                        static_cast<void*>(it->first), threadId);
            if (it->second.disposer)
                withDisposers.emplace_back(it->first, it->second.disposer);
            it = windows.erase(it);
        } else {
            ++it;
        }
    }
    return withDisposers;
}

size_t WindowTable::CountOfClass(ATOM atom)
{
    std::lock_guard lock(mutex);
    size_t count = 0;
    for (const auto& entry : windows)
        if (entry.second.classAtom == atom)
            ++count;
    return count;
}

} // namespace quillet::user
