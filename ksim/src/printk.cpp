// The kernel log, captured with each message's level.
#include "ksim/log.hpp"

#include <linux/printk.h>

#include <cstdarg>
#include <cstdio>
#include <sstream>

#include "internal.hpp"

namespace ksim::log {
namespace {

std::vector<Entry> &captured()
{
	static std::vector<Entry> entries;
	return entries;
}

// Splits off the KERN_SOH level prefix as the kernel's printk does.
int take_level(const char *&text)
{
	if (text[0] != KERN_SOH[0] || text[1] == '\0')
		return default_level;
	char code = text[1];
	text += 2;
	if (code >= '0' && code <= '7')
		return code - '0';
	return default_level;
}

}  // namespace

const std::vector<Entry> &entries()
{
	return captured();
}

void clear()
{
	captured().clear();
}

bool contains(int level, const std::string &text)
{
	for (const Entry &e : captured())
		if (e.level == level && e.text == text)
			return true;
	return false;
}

std::string dump()
{
	std::ostringstream out;
	for (const Entry &e : captured())
		out << "<" << e.level << "> " << e.text;
	return out.str();
}

}  // namespace ksim::log

namespace ksim::detail {

void reset_log()
{
	log::clear();
}

std::string format(const char *fmt, va_list args)
{
	va_list measure;
	va_copy(measure, args);
	int length = std::vsnprintf(nullptr, 0, fmt, measure);
	va_end(measure);
	std::string text(length > 0 ? static_cast<std::size_t>(length) : 0, '\0');
	std::vsnprintf(text.data(), text.size() + 1, fmt, args);
	return text;
}

}  // namespace ksim::detail

extern "C" int printk(const char *fmt, ...)
{
	int level = ksim::log::take_level(fmt);
	va_list args;
	va_start(args, fmt);
	std::string text = ksim::detail::format(fmt, args);
	va_end(args);
	ksim::log::captured().push_back({level, text});
	return static_cast<int>(text.size());
}
