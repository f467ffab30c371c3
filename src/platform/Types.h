#pragma once
// Basic types of the desktop framework our code is written against.

#include <cstddef>
#include <cstdint>

using BOOL = int;
#ifndef TRUE
#define TRUE 1
#endif
#ifndef FALSE
#define FALSE 0
#endif

using UINT = unsigned int;
using DWORD = std::uint32_t;
using WPARAM = std::uintptr_t;
using LPARAM = std::intptr_t;
using LRESULT = std::intptr_t;

constexpr DWORD INFINITE = 0xFFFFFFFFu;
constexpr DWORD WAIT_OBJECT_0 = 0;
constexpr DWORD WAIT_TIMEOUT = 258;
constexpr DWORD WAIT_FAILED = 0xFFFFFFFFu;

// Handles are opaque ids looked up in a registry, never pointers: a stale
// handle finds nothing instead of touching freed memory.
template <class Tag> class CHandle {
public:
    constexpr CHandle() = default;
    constexpr CHandle(std::nullptr_t) {}
    constexpr explicit CHandle(std::uint64_t nId) : m_nId(nId) {}

    constexpr std::uint64_t GetId() const { return m_nId; }
    constexpr explicit operator bool() const { return m_nId != 0; }
    friend constexpr bool operator==(CHandle a, CHandle b) { return a.m_nId == b.m_nId; }
    friend constexpr bool operator<(CHandle a, CHandle b) { return a.m_nId < b.m_nId; }

    static CHandle FromParam(std::uint64_t n) { return CHandle(n); }

private:
    std::uint64_t m_nId = 0;
};

using HWND = CHandle<struct HWndTag>;
using HTREEITEM = CHandle<struct HTreeItemTag>;
using HANDLE = CHandle<struct HThreadTag>;
