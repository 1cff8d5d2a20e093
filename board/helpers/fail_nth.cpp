// fail_nth load MODULE.ko [CHECK...] | fail_nth bind DRIVER DEVICE [CHECK...]:
// loads a module (init_module, so its init and any probe it brings) or
// binds a device to a driver (the driver's sysfs directory, DRIVER) again
// and again, with the kernel set to fail the 1st, then the 2nd, ...
// allocation the call makes, through /proc/self/fail-nth, until the call
// makes fewer allocations than that. A call that fails must leave nothing
// loaded or bound; one that succeeds despite its failure must be whole,
// and is then taken back. Each CHECK is "=PATH", a call that succeeded
// despite its failure made PATH; "-PATH", PATH is gone once the call
// failed or was taken back; or "+PATH", PATH is there then. The module is
// read and the files opened before, so only the call itself is counted.
// The last call, with no failure left, stays loaded or bound.
// Prints how many failure points there were, and how many of them the call
// survived; exits 0 when every failure unwound or was survived as the
// checks say, 1 when one was not or when no allocation was failed at all,
// 2 on misuse.
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

#include <err.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace {

constexpr const char *fail_nth_path = "/proc/self/fail-nth";

// What is being failed: one call, repeatable, and what undoes it.
struct Target {
	virtual ~Target() = default;
	virtual long call() = 0;
	// Takes back what a call that succeeded despite its failure did.
	virtual void take_back() = 0;
	// Whether the last call left its work done.
	virtual bool done() = 0;
	virtual const std::string &name() const = 0;
	// What the call does, and what done() means: "load" and "loaded".
	virtual const char *action() const = 0;
	virtual const char *state() const = 0;
};

std::string read_file(const char *path)
{
	std::ifstream in(path, std::ios::binary);
	if (!in)
		errx(2, "%s: cannot read it", path);
	return std::string(std::istreambuf_iterator<char>(in), {});
}

bool exists(const std::string &path)
{
	struct stat st;
	return lstat(path.c_str(), &st) == 0;
}

class ModuleLoad : public Target {
public:
	explicit ModuleLoad(const char *path) : image_(read_file(path)), name_(module_name(path)) {}

	long call() override { return syscall(SYS_init_module, image_.data(), image_.size(), ""); }

	void take_back() override
	{
		if (syscall(SYS_delete_module, name_.c_str(), O_NONBLOCK) != 0)
			errx(1, "%s loaded despite a failure, and does not unload: %s", name_.c_str(),
			     strerror(errno));
	}

	bool done() override { return exists("/sys/module/" + name_ + "/initstate"); }

	const std::string &name() const override { return name_; }
	const char *action() const override { return "load"; }
	const char *state() const override { return "loaded"; }

private:
	static std::string module_name(const char *path)
	{
		std::string name = path;
		name = name.substr(name.rfind('/') + 1);
		return name.substr(0, name.rfind(".ko"));
	}

	std::string image_;
	std::string name_;
};

class DeviceBind : public Target {
public:
	DeviceBind(const std::string &driver, const std::string &device)
		: driver_(driver), device_(device), bind_(open_file(driver + "/bind"))
	{
	}

	long call() override { return write(bind_, device_.data(), device_.size()); }

	void take_back() override
	{
		const int unbind = open_file(driver_ + "/unbind");
		const bool undone =
			write(unbind, device_.data(), device_.size()) == static_cast<ssize_t>(device_.size());
		close(unbind);
		if (!undone)
			errx(1, "%s bound despite a failure, and does not unbind", device_.c_str());
	}

	bool done() override { return exists(driver_ + "/" + device_); }

	const std::string &name() const override { return device_; }
	const char *action() const override { return "probe"; }
	const char *state() const override { return "bound"; }

private:
	static int open_file(const std::string &path)
	{
		const int fd = open(path.c_str(), O_WRONLY | O_CLOEXEC);
		if (fd < 0)
			errx(2, "%s: %s", path.c_str(), strerror(errno));
		return fd;
	}

	std::string driver_;
	std::string device_;
	int bind_;
};

// The kernel fails the Nth allocation the task makes once N is written.
class FailNth {
public:
	FailNth() : fd_(open(fail_nth_path, O_RDWR | O_CLOEXEC))
	{
		if (fd_ < 0)
			errx(2, "%s: %s (a kernel without fault injection?)", fail_nth_path,
			     strerror(errno));
	}

	void arm(unsigned nth) { set(std::to_string(nth)); }

	// Disarms; true when the Nth allocation came and failed.
	bool disarm()
	{
		char text[32] = {};
		if (pread(fd_, text, sizeof(text) - 1, 0) <= 0)
			errx(2, "reading %s: %s", fail_nth_path, strerror(errno));
		set("0");
		return strtoul(text, nullptr, 10) == 0;
	}

private:
	void set(const std::string &text)
	{
		if (pwrite(fd_, text.c_str(), text.size(), 0) != static_cast<ssize_t>(text.size()))
			errx(2, "writing %s: %s", fail_nth_path, strerror(errno));
	}

	int fd_;
};

// The checks of one kind ('-', '+' or '='): PATH exists for all but '-'.
void check(const std::vector<std::string> &checks, char kind, unsigned nth, const char *outcome)
{
	for (const std::string &c : checks) {
		if (c[0] != kind)
			continue;
		const bool want = kind != '-';
		if (exists(c.substr(1)) != want)
			errx(1, "after failing allocation %u, %s: %s %s", nth, outcome, c.c_str() + 1,
			     want ? "is missing" : "is still there");
	}
}

std::vector<std::string> parse_checks(int argc, char *argv[], int first)
{
	std::vector<std::string> checks;
	for (int i = first; i < argc; i++) {
		if (!strchr("+-=", argv[i][0]) || !argv[i][1])
			errx(2, "a check is +PATH, -PATH or =PATH: '%s'", argv[i]);
		checks.push_back(argv[i]);
	}
	return checks;
}

} // namespace

int main(int argc, char *argv[])
{
	const bool load = argc >= 3 && strcmp(argv[1], "load") == 0;
	const bool bind = argc >= 4 && strcmp(argv[1], "bind") == 0;
	if (!load && !bind)
		errx(2, "usage: fail_nth load MODULE.ko [CHECK...] | "
			"fail_nth bind DRIVER DEVICE [CHECK...]");
	std::unique_ptr<Target> target;
	if (load)
		target = std::make_unique<ModuleLoad>(argv[2]);
	else
		target = std::make_unique<DeviceBind>(argv[2], argv[3]);
	const std::vector<std::string> checks = parse_checks(argc, argv, load ? 3 : 4);
	FailNth fail_nth;

	unsigned nth = 1;
	unsigned whole = 0;
	for (;; nth++) {
		fail_nth.arm(nth);
		const long result = target->call();
		const int error = errno;
		if (!fail_nth.disarm()) {
			if (result < 0)
				errx(1, "with no failure left the call failed: %s", strerror(error));
			break;
		}
		const std::string outcome = std::string(target->action()) +
					    (result < 0 ? " failed" : " survived it");
		if (result < 0 && target->done())
			errx(1, "after failing allocation %u, %s, yet %s is %s", nth, outcome.c_str(),
			     target->name().c_str(), target->state());
		if (result >= 0) {
			// The failure was taken in the call's stride, by the kernel or
			// by the module: whatever it made must be there before it goes.
			if (!target->done())
				errx(1, "after failing allocation %u, %s, yet %s is not %s", nth,
				     outcome.c_str(), target->name().c_str(), target->state());
			check(checks, '=', nth, outcome.c_str());
			target->take_back();
			whole++;
		}
		check(checks, '-', nth, outcome.c_str());
		check(checks, '+', nth, outcome.c_str());
	}
	// A call never failed proves nothing: fault injection may be off, or
	// the call may have stopped allocating.
	if (nth == 1)
		errx(1, "%s %s: not one allocation was failed", target->name().c_str(),
		     target->action());
	printf("fail_nth: %s %s: %u failure points, %u unwound, %u survived whole\n",
	       target->name().c_str(), target->action(), nth - 1, nth - 1 - whole, whole);
	return 0;
}
