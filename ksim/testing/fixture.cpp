#include "ksim/testing.hpp"

namespace ksim {

Test::Test()
{
	reset();
}

void Test::TearDown()
{
	modules::unload_all();
	for (const std::string &violation : violations::take())
		ADD_FAILURE() << "kernel model violation: " << violation;
	if (HasFailure())
		std::cerr << "kernel log:\n" << log::dump();
}

}  // namespace ksim
