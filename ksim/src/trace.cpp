#include "ksim/trace.hpp"

#include "internal.hpp"

namespace ksim::trace {
namespace {

std::vector<std::string> &recorded()
{
	static std::vector<std::string> calls;
	return calls;
}

}  // namespace

const std::vector<std::string> &calls()
{
	return recorded();
}

void clear()
{
	recorded().clear();
}

}  // namespace ksim::trace

namespace ksim::detail {

void trace(const std::string &call)
{
	trace::recorded().push_back(call);
}

}  // namespace ksim::detail
