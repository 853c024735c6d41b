#pragma once

#include <string_view>

#include "ports/registry.h"

namespace hta {

// The administrators' switch that limits the launcher to HTTPS: a value
// under this key of HKEY_LOCAL_MACHINE, else of HKEY_CURRENT_USER. Only read.
inline constexpr std::string_view kPolicyKey = "Software\\Policies\\HTA_Launcher";
inline constexpr std::string_view kRequireHttpsValue = "RequireHttps";

// Whether the policy demands HTTPS. The machine's value decides when it is
// there, else the user's. A REG_DWORD decides by being non-zero; a value
// that is there but of another type or size, or a key or value that cannot
// be read, demands it too: a security switch fails closed. Neither value
// there: no. Every key opened is closed again. (Read with the other
// policies, in shell/policies.cpp.)
bool ReadRequireHttpsPolicy(RegistryCalls& registry);

}  // namespace hta
