#pragma once

// Record ids: random (version 4) UUIDs from the kernel's generator, so ids from several
// processes and several PCs never need to be coordinated.

#include <string>

// "3f2a9c1e-5b7d-4e8a-9c01-23456789abcd".
std::string NewRecordId();
