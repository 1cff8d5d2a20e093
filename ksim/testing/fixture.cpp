#include "ksim/testing.hpp"

namespace ksim {

void Test::TearDown()
{
	modules::unload_all();
	for (const std::string &violation : violations::take())
		ADD_FAILURE() << "kernel model violation: " << violation;
	if (!HasFailure())
		return;
	std::cerr << "kernel log:\n";
	for (const log::Entry &e : log::entries())
		std::cerr << "<" << e.level << "> " << e.text;
	std::cerr << "events:\n";
	for (const Event &e : events())
		std::cerr << e.at << " " << e.kind << ": " << e.text << "\n";
}

}  // namespace ksim
