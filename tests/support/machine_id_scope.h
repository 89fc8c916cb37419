#pragma once

#include "config/machine_id.h"

#include <string>

// g_szMachineId set to id for the scope's lifetime, as if this were a computer with that adapter.
class CMachineIdScope {
public:
    explicit CMachineIdScope(std::string id) : m_previous(std::move(g_szMachineId))
    {
        g_szMachineId = std::move(id);
    }
    ~CMachineIdScope() { g_szMachineId = std::move(m_previous); }
    CMachineIdScope(const CMachineIdScope&) = delete;
    CMachineIdScope& operator=(const CMachineIdScope&) = delete;

private:
    std::string m_previous;
};

// A block that `openssl enc -bf-cbc -md md5 -S 0123456789abcdef -pass pass:0800271A2B3C0000`
// made from "secretPW", with the "Salted__" header and salt in front.
inline constexpr const char* kKnownMachineId = "0800271A2B3C0000";
inline constexpr const char* kKnownPassword = "secretPW";
inline constexpr const char* kKnownBlockBase64 = "U2FsdGVkX18BI0VniavN7zOIxK7eGhr99XH/HMQgQDQ=";
