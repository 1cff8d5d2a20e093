// Attribute files under /sys as kernfs serves them: a read runs the show
// behind the file; removing a folder waits for the reads in progress.
#include <linux/errno.h>
#include <linux/sysfs.h>

#include <algorithm>
#include <list>
#include <set>

#include "internal.hpp"

namespace ksim {
namespace {

struct Folder {
	std::string path;
	std::vector<detail::SysfsFile> files;
	const struct module *owner;
	int reads = 0;
	// Locks a show of this folder has taken: what a removal must not hold.
	std::set<const struct mutex *> reader_locks;
};

struct State {
	std::list<Folder> folders;
	std::vector<Folder *> reading;
};

State &state()
{
	static State s;
	return s;
}

Folder *find(const std::string &path)
{
	for (Folder &f : state().folders)
		if (f.path == path)
			return &f;
	return nullptr;
}

std::string parent_of(const std::string &path) { return path.substr(0, path.rfind('/')); }

std::string base_of(const std::string &path) { return path.substr(path.rfind('/') + 1); }

// The folder a file is in, and the file, or nullptr.
std::pair<Folder *, detail::SysfsFile *> file_at(const std::string &path)
{
	Folder *folder = find(parent_of(path));
	if (!folder)
		return {nullptr, nullptr};
	for (detail::SysfsFile &file : folder->files)
		if (file.name == base_of(path))
			return {folder, &file};
	return {folder, nullptr};
}

}  // namespace

sysfs::Read sysfs::read(const std::string &path)
{
	auto [folder, file] = file_at(path);
	if (!file)
		return {-ENOENT, ""};

	std::vector<char> page(PAGE_SIZE);
	const int before = detail::mutexes_held();
	folder->reads++;
	state().reading.push_back(folder);
	const ssize_t result = file->show(page.data());
	state().reading.pop_back();
	folder->reads--;
	detail::check_return("sysfs show", before);
	if (result > static_cast<ssize_t>(PAGE_SIZE)) {
		violations::report(detail::format("show of %s returned %zd, past its page",
						  path.c_str(), result));
		return {-EFAULT, ""};
	}
	if (result < 0)
		return {result, ""};
	return {result, std::string(page.data(), static_cast<std::size_t>(result))};
}

bool sysfs::exists(const std::string &path) { return find(path) || file_at(path).second; }

std::vector<std::string> sysfs::list(const std::string &folder)
{
	std::vector<std::string> names;
	for (const Folder &f : state().folders)
		if (parent_of(f.path) == folder)
			names.push_back(base_of(f.path));
	std::sort(names.begin(), names.end());
	return names;
}

namespace detail {

void reset_sysfs() { state() = State{}; }

void sysfs_add(const std::string &folder, std::vector<SysfsFile> files)
{
	if (find(folder)) {
		violations::report("sysfs: cannot create duplicate folder " + folder);
		return;
	}
	state().folders.push_back({folder, std::move(files), running_module(), 0, {}});
}

void sysfs_remove(const std::string &folder)
{
	Folder *f = find(folder);
	if (!f) {
		violations::report("sysfs: removing " + folder + ", which does not exist");
		return;
	}
	// kernfs would wait for that read for ever: the folder stays.
	if (f->reads) {
		violations::report("removing " + folder + " from one of its own reads: "
			"kernfs waits for that read to end (deadlock)");
		return;
	}
	for (const struct mutex *lock : held_mutexes())
		if (f->reader_locks.count(lock))
			violations::report("removing " + folder + " with a lock held that its reads "
				"take: kernfs waits for those reads, they wait for the lock (deadlock)");
	state().folders.remove_if([&](const Folder &other) { return &other == f; });
}

std::string sysfs_free_name(const std::string &parent, const std::string &prefix)
{
	for (unsigned n = 0;; n++) {
		std::string name = prefix + std::to_string(n);
		if (!find(parent + "/" + name))
			return name;
	}
}

void sysfs_note_lock(const struct mutex *lock)
{
	if (!state().reading.empty())
		state().reading.back()->reader_locks.insert(lock);
}

std::vector<std::string> sysfs_dirs_held_by(const struct module *mod)
{
	std::vector<std::string> held;
	for (const Folder &f : state().folders)
		if (f.owner == mod)
			held.push_back(f.path);
	return held;
}

}  // namespace detail
}  // namespace ksim
