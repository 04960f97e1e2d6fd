// The rights a self-extracting program asks Windows for when it starts: the level of the
// manifest the stub carries, rewritten in the stub's bytes by the builder. The stub's manifest
// asks for the user's own rights (asInvoker) and leaves blanks after that attribute, so that a
// longer level takes their place and the resource keeps its size.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

constexpr const char* kElevationLevels[] = {"asInvoker", "highestAvailable",
                                            "requireAdministrator"};

bool IsElevationLevel(const std::string& level);

// Makes the manifest in stub ask for level. asInvoker leaves the stub as it is; another level
// is refused, with the reason in error, for a stub whose manifest has no room for it.
bool SetElevation(std::vector<uint8_t>* stub, const std::string& level, std::string* error);
