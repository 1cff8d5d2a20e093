// The captured kernel log.
#pragma once

#include <ostream>
#include <string>
#include <vector>

namespace ksim::log {

constexpr int default_level = -1;  // KERN_DEFAULT

struct Entry {
	int level;  // 0 (KERN_EMERG) to 7 (KERN_DEBUG), or default_level
	std::string text;
	bool operator==(const Entry &other) const
	{
		return level == other.level && text == other.text;
	}
};

// Readable test failures.
inline std::ostream &operator<<(std::ostream &out, const Entry &entry)
{
	return out << "<" << entry.level << "> \"" << entry.text << "\"";
}

const std::vector<Entry> &entries();
void clear();
bool contains(int level, const std::string &text);
std::string dump();

}  // namespace ksim::log
