#pragma once
// A flag set for a scope and given back the value it had, on every way out:
// a pause inside a pause, an early return or a failed exchange cannot leave
// polling or the tick work switched off (or on) behind an operation.
//
// Thread contract: the thread that owns the flag.

namespace velmora {

class [[nodiscard]] ScopedFlag {
public:
    ScopedFlag(bool& flag, bool value) : m_pFlag(&flag), m_bSaved(flag) { flag = value; }
    ~ScopedFlag()
    {
        if (m_pFlag != nullptr)
            *m_pFlag = m_bSaved;
    }
    ScopedFlag(ScopedFlag&& other) noexcept : m_pFlag(other.m_pFlag), m_bSaved(other.m_bSaved)
    {
        other.m_pFlag = nullptr;
    }
    ScopedFlag(const ScopedFlag&) = delete;
    ScopedFlag& operator=(const ScopedFlag&) = delete;
    ScopedFlag& operator=(ScopedFlag&&) = delete;

private:
    bool* m_pFlag;
    bool m_bSaved;
};

} // namespace velmora
