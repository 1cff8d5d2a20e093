// Named fault switches, one per call site.
#include "ksim/fault.hpp"

#include <ksim/runtime.h>

#include <map>

#include "internal.hpp"

namespace ksim::fault {
namespace {

struct Switch {
	int error = 0;
	unsigned skip = 0;
	unsigned times = 0;
	unsigned calls = 0;
};

std::map<std::string, Switch> &switches()
{
	static std::map<std::string, Switch> s;
	return s;
}

}  // namespace

void inject(const std::string &site, int error, unsigned skip, unsigned times)
{
	Switch &s = switches()[site];
	s.error = error;
	s.skip = skip;
	s.times = times;
}

unsigned calls(const std::string &site)
{
	auto it = switches().find(site);
	return it == switches().end() ? 0 : it->second.calls;
}

}  // namespace ksim::fault

namespace ksim::detail {

void reset_faults()
{
	fault::switches().clear();
}

}  // namespace ksim::detail

extern "C" int ksim_fault(const char *site)
{
	auto &s = ksim::fault::switches()[site];
	s.calls++;
	if (s.times == 0)
		return 0;
	if (s.skip > 0) {
		s.skip--;
		return 0;
	}
	s.times--;
	return s.error;
}
