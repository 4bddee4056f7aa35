// FrameworkTesting.h - seams of the framework for tests.
//
// Production code never calls these.
#pragma once

#include <cstdint>

namespace framework_testing {

// The next number AssignSequence hands out.
void SetNextRequestSequence(std::uint32_t value);

}  // namespace framework_testing
