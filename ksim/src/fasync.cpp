// fasync_helper and kill_fasync: the per-driver list of files that asked
// for SIGIO, and a record of every signal sent through it.
#include "ksim/fasync.hpp"

#include <linux/errno.h>
#include <linux/fs.h>

#include <ksim/runtime.h>

#include <set>
#include <string>

#include "ksim/context.hpp"
#include "internal.hpp"

namespace ksim::fasync {
namespace {

struct State {
	std::set<const fasync_struct *> live;
	std::vector<Signal> signals;
};

State &state()
{
	static State s;
	return s;
}

int add_entry(int fd, struct file *filp, struct fasync_struct **fapp)
{
	for (fasync_struct *fa = *fapp; fa; fa = fa->fa_next) {
		if (fa->fa_file == filp) {
			fa->fa_fd = fd;
			return 0;
		}
	}
	ksim_might_sleep("fasync_helper");
	const int error = ksim_fault("fasync_helper");
	if (error)
		return error;
	auto *fa = new fasync_struct{FASYNC_MAGIC, fd, *fapp, filp};
	state().live.insert(fa);
	*fapp = fa;
	filp->f_flags |= FASYNC;
	return 1;
}

int remove_entry(struct file *filp, struct fasync_struct **fapp)
{
	for (fasync_struct **link = fapp; *link; link = &(*link)->fa_next) {
		fasync_struct *fa = *link;
		if (fa->fa_file != filp)
			continue;
		*link = fa->fa_next;
		state().live.erase(fa);
		delete fa;
		filp->f_flags &= ~FASYNC;
		return 1;
	}
	return 0;
}

}  // namespace

const std::vector<Signal> &signals()
{
	return state().signals;
}

std::vector<Signal> received_by(pid_t owner)
{
	std::vector<Signal> mine;
	for (const Signal &s : state().signals)
		if (s.owner == owner)
			mine.push_back(s);
	return mine;
}

std::size_t entries()
{
	return state().live.size();
}

}  // namespace ksim::fasync

namespace ksim::detail {

bool on_fasync_list(const struct file *filp)
{
	for (const fasync_struct *fa : fasync::state().live)
		if (fa->fa_file == filp)
			return true;
	return false;
}

void reset_fasync()
{
	for (const fasync_struct *fa : fasync::state().live)
		delete fa;
	fasync::state() = fasync::State{};
}

}  // namespace ksim::detail

extern "C" {

int fasync_helper(int fd, struct file *filp, int on, struct fasync_struct **fapp)
{
	if (!on)
		return ksim::fasync::remove_entry(filp, fapp);
	return ksim::fasync::add_entry(fd, filp, fapp);
}

void kill_fasync(struct fasync_struct **fp, int sig, int band)
{
	for (const fasync_struct *fa = *fp; fa; fa = fa->fa_next) {
		if (!ksim::fasync::state().live.count(fa) ||
		    fa->magic != FASYNC_MAGIC) {
			ksim::violations::report("kill_fasync on a freed or corrupt entry");
			return;
		}
		const pid_t owner = fa->fa_file->f_owner.pid;
		if (owner)
			ksim::fasync::state().signals.push_back(
				{owner, sig, band, fa->fa_fd, ksim::time::now()});
	}
}

}  // extern "C"
