// The GoogleTest fixture every host test of a driver derives from.
#pragma once

#include <gtest/gtest.h>

#include "ksim/model.hpp"

namespace ksim {

// Starts each test on a freshly reset model (before the derived fixture's
// members attach hardware to it) and fails the test on any violation.
class Test : public ::testing::Test {
protected:
	Test() { reset(); }
	void TearDown() override;
};

}  // namespace ksim
