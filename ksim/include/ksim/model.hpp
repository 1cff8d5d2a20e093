// The host kernel model as tests see it, one section per subsystem.
#pragma once

#include <fcntl.h>
#include <linux/pwm.h>
#include <sys/types.h>

#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <ostream>
#include <string>
#include <string_view>
#include <vector>

struct device;
struct device_node;
struct file;
struct module;
struct gpio_desc {
	unsigned number;
};

namespace ksim {

// Back to a fresh boot: modules unloaded; devices, nodes, lines, channels,
// files, log, events, faults and violations gone; time 0.
void reset();

namespace time {
using Nanoseconds = std::uint64_t;
using EventId = std::uint64_t;
constexpr Nanoseconds us(std::uint64_t n) { return n * 1000; }
constexpr Nanoseconds ms(std::uint64_t n) { return n * 1000 * 1000; }
// One jiffy at the board's HZ=100; jiffies is INITIAL_JIFFIES at time 0.
constexpr Nanoseconds tick = ms(10);

// Time moves only here, or when kernel code busy-waits; events due on the
// way run in time order (then in the order they were scheduled).
Nanoseconds now();
void advance(Nanoseconds delta);
void advance_to(Nanoseconds when);
EventId at(Nanoseconds when, std::function<void()> action);
bool cancel(EventId id);
}  // namespace time

// Execution contexts. A hard interrupt also masks local interrupts for its
// duration, as the kernel's entry code does.
enum class Context { process, hardirq, timer };
Context current_context();
class ContextScope {
public:
	explicit ContextScope(Context context);
	~ContextScope();
	ContextScope(const ContextScope &) = delete;
	ContextScope &operator=(const ContextScope &) = delete;

private:
	Context previous_;
	unsigned long saved_flags_ = 0;
	bool masked_ = false;
};

// What the real kernel would warn about or oops on; the fixture fails the
// test on any, unless the test takes the ones it provoked.
namespace violations {
void report(const std::string &what);
const std::vector<std::string> &all();
std::vector<std::string> take();
}  // namespace violations

// The kernel log: every printk with its level and exact text.
namespace log {
constexpr int default_level = -1;  // KERN_DEFAULT or no level
struct Entry {
	int level;
	std::string text;
	bool operator==(const Entry &o) const { return level == o.level && text == o.text; }
};
inline std::ostream &operator<<(std::ostream &out, const Entry &e)
{
	return out << "<" << e.level << "> \"" << e.text << "\"";
}
const std::vector<Entry> &entries();
bool contains(int level, const std::string &text);
void clear();
}  // namespace log

// What kernel code did, in order: kinds "core", "i2c", "pwm", "signal",
// whose texts README.md lists.
struct Event {
	time::Nanoseconds at;
	std::string_view kind;
	std::string text;
};
const std::vector<Event> &events();
std::vector<std::string> events(const std::string &kind);
void clear_events();

// The call after `skip` successful ones at `site` fails with `error`, `times`
// times (the sites are in README.md).
namespace fault {
void inject(const std::string &site, int error, unsigned skip = 0, unsigned times = 1);
}  // namespace fault

// Modules are found by the KBUILD_MODNAME they were compiled with.
namespace modules {
// The init's result; the module stays loaded only when it is 0.
int load(const std::string &name);
// 0; -ENOENT when not loaded; -EBUSY while a file of it is open.
int unload(const std::string &name);
bool loaded(const std::string &name);
void unload_all();
struct module *find(const std::string &name);
// The values of a MODULE_INFO tag ("license", "description").
std::vector<std::string> info(const std::string &name, const std::string &tag);
}  // namespace modules

// Device nodes and the system calls a process makes on them: results are
// the driver's, or a negative errno.
namespace fs {
bool exists(const std::string &path);
std::vector<std::string> nodes();
dev_t devt(const std::string &path);
int open(const std::string &path, int flags = O_RDWR);
ssize_t read(int fd, void *buf, size_t count);
ssize_t write(int fd, const void *buf, size_t count);
int close(int fd);
// F_SETOWN, F_GETFL and F_SETFL, whose FASYNC bit reaches the driver.
int fcntl(int fd, int cmd, long arg = 0);
struct file *file(int fd);
}  // namespace fs

namespace fasync {
// List entries fasync_helper allocated and has not freed.
std::size_t entries();
}

// User memory: what a process may hand to the kernel.
namespace user {
// Mapped user memory while it lives; the bytes around it are not.
class Buffer {
public:
	explicit Buffer(std::size_t size, std::uint8_t fill = 0);
	~Buffer();
	Buffer(const Buffer &) = delete;
	Buffer &operator=(const Buffer &) = delete;
	void *data() { return bytes_.data(); }
	std::size_t size() const { return bytes_.size(); }
	std::uint8_t &operator[](std::size_t i) { return bytes_.at(i); }
	const std::vector<std::uint8_t> &bytes() const { return bytes_; }

private:
	std::vector<std::uint8_t> bytes_;
};
// An address beyond the caller's limit (kernel memory); kernel code must
// never write there for a caller.
void *kernel_address();
bool kernel_memory_untouched();
}  // namespace user

// Device-tree nodes; each gets a platform device that binds at once when a
// registered driver matches.
namespace dt {
struct GpioRef {
	unsigned gpio;        // global line number
	std::uint32_t flags;  // OF_GPIO_* bits
};
struct Node {
	std::string name;
	std::vector<std::string> compatible;
	std::vector<GpioRef> gpios;
	// Other properties as cells: {"pwms", {3}} names PWM channel 3.
	std::map<std::string, std::vector<std::uint32_t>> cells;
};
struct device_node *add(const Node &node);
// Unbinds and deletes the node's device, then the node.
void remove(const std::string &name);
}  // namespace dt

namespace platform {
// A device without a node, as board code registers one; it binds by
// driver name. dt::remove(name) deletes it.
struct device *add(const std::string &name);
}

// Every device on every bus, by its name: "dht11@0" (platform), "0-001e"
// (I2C adapter 0, address 0x1e).
namespace bus {
struct device *device(const std::string &name);
// The bound driver's name, or "".
std::string driver(const std::string &name);
bool bound(const std::string &name);
int last_probe_result(const std::string &name);
// As through the driver's sysfs files.
void unbind(const std::string &name);
// The same, with a reader that was waiting for a lock remove held: it runs
// once remove has returned, before the device-managed resources go.
void unbind(const std::string &name, const std::function<void()> &waiting_reader);
int bind(const std::string &name);
}  // namespace bus

// Attribute files under /sys, as read(2) of one gives them.
namespace sysfs {
struct Read {
	ssize_t result;  // the show's count, or a negative errno (-ENOENT: no file)
	std::string text;
};
Read read(const std::string &path);
bool exists(const std::string &path);
// The folders in a folder: "/sys/class/hwmon" gives {"hwmon0", ...}.
std::vector<std::string> list(const std::string &folder);
}  // namespace sysfs

// Registered input devices, by name, and what evdev hands their readers.
namespace input {
struct Event {
	time::Nanoseconds at;
	unsigned type, code;
	int value;
	bool operator==(const Event &o) const
	{
		return at == o.at && type == o.type && code == o.code && value == o.value;
	}
};
inline std::ostream &operator<<(std::ostream &out, const Event &e)
{
	return out << "{" << e.at << " ns, type " << e.type << ", code " << e.code << ", "
		   << e.value << "}";
}
bool registered(const std::string &name);
std::vector<Event> events(const std::string &name);
// Its evdev node, "/dev/input/eventN", or "" when not registered.
std::string node(const std::string &name);
}  // namespace input

namespace gpio {
enum class Pull { down, up };
constexpr unsigned line_count = 512;

class Line {
public:
	using Watcher = std::function<void(int level)>;
	explicit Line(unsigned number = 0) : desc_{number} {}
	unsigned number() const { return desc_.number; }
	// The host's output; else what an attached device drives; else the pull.
	int level() const;
	bool is_output() const { return output_; }
	bool ever_output() const { return ever_output_; }
	// How often, and when last, the host began to drive the line low.
	unsigned host_low_starts() const { return host_low_starts_; }
	time::Nanoseconds host_low_started() const { return host_low_started_; }
	// How often a gpio call has read the value.
	unsigned host_reads() const { return host_reads_; }
	// Claimed through gpio_request_one, with its label, until gpio_free.
	bool requested() const { return requested_; }
	const std::string &label() const { return label_; }

	void set_pull(Pull pull);
	// The attached device pulls the line to a level, or lets go.
	void device_drive(std::optional<int> level);
	// Called with the new level on every change.
	int watch(Watcher watcher);
	void unwatch(int id);

	// The host side, as the gpio calls use it. An input keeps its output
	// latch for later.
	int host_read() { return host_reads_++, level(); }
	void host_drive(bool output, std::optional<int> latch = std::nullopt);
	void host_claim(bool claimed, const char *label = nullptr)
	{
		requested_ = claimed;
		label_ = label ? label : "";
	}
	gpio_desc *desc() { return &desc_; }

private:
	template <typename Change> void change(Change &&apply);

	gpio_desc desc_;
	bool output_ = false, ever_output_ = false, requested_ = false;
	int latch_ = 0;
	unsigned host_low_starts_ = 0, host_reads_ = 0;
	time::Nanoseconds host_low_started_ = 0;
	std::string label_;
	Pull pull_ = Pull::down;
	std::optional<int> device_level_;
	std::vector<std::pair<int, Watcher>> watchers_;
	int next_watch_id_ = 1;
};
// Lines live as long as the program: descriptors stay valid across resets.
Line &line(unsigned number);
}  // namespace gpio

// Each GPIO line has an interrupt, gpiod_to_irq's number for it.
namespace irq {
int of_gpio(unsigned gpio);
struct Requested {
	std::string name;
	unsigned long flags;
	unsigned long handled;  // handler runs
};
// What request_threaded_irq set up, or nullptr while free.
const Requested *requested(int irq);

bool disabled();
// The longest stretch with local interrupts off since reset or the clear.
time::Nanoseconds longest_off_window();
void clear_off_windows();
}  // namespace irq

namespace timer {
// When the armed timers will run, earliest first.
std::vector<time::Nanoseconds> due_times();
}

namespace i2c {
// A chip model: each call returns what the SMBus call returns.
class Chip {
public:
	virtual ~Chip() = default;
	virtual int write_byte_data(std::uint8_t command, std::uint8_t value) = 0;
	virtual int read_word_data(std::uint8_t command) = 0;
};
void add_adapter(int nr);
// References i2c_get_adapter took and i2c_put_adapter has not given back.
int adapter_refs(int nr);
// The chip answers at addr; where none does, a transfer gets -ENXIO.
void attach(int nr, std::uint16_t addr, Chip &chip);
// A device-tree child of the adapter: its client exists at once, named
// after the compatible without the vendor prefix, and binds by it.
void declare(int nr, std::uint16_t addr, const std::string &compatible);
}  // namespace i2c

// The PWM core's channels, which live as long as the program. A test may
// set one up as a boot loader left it. Their controller is the board's
// pwm-imx, without a set_polarity operation; a test that needs a controller
// with one says so (until the next reset).
namespace pwm {
constexpr unsigned channels = 8;
struct pwm_device &channel(unsigned number);
void has_polarity_operation(bool present);
}

}  // namespace ksim
