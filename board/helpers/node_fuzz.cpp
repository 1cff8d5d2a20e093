// node_fuzz SEED COUNT: throws COUNT random calls at the kit's four nodes,
// the same ones for the same SEED, while the board's shell loop binds,
// unbinds, loads and unloads their drivers under it. Opens, reads, writes,
// seeks, polls, switches notification on and off and closes, with counts
// and buffers a careless caller would pass: unwritable, unmapped, cut off by
// a guard page, null, in the kernel's half. Fails (exit 1) on a result no
// honest file gives, on an answer the node's driver never gives (each
// node's reads and writes are checked against what its driver returns),
// and on an error these nodes never give. A call that does not return is
// for the caller to catch: a watchdog in this process cannot run while
// the call spins or sleeps uninterruptibly in the kernel.
//
// Offsets are 64-bit on the 32-bit board too: lseek then never fails with
// EOVERFLOW for a position the kernel took.
#define _FILE_OFFSET_BITS 64

#include <algorithm>
#include <array>
#include <cerrno>
#include <cinttypes>
#include <cstdarg>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iterator>
#include <limits>
#include <random>
#include <string>

#include <err.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/mman.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace {

enum Node { dht11, sr501, ap3216, sg90, node_count };
constexpr const char *node_names[node_count] = {"dht11", "sr501", "ap3216", "sg90"};
constexpr int max_open = 8;
constexpr size_t max_count = 64 * 1024;
// The records /dev/dht11 and /dev/ap3216 return.
constexpr size_t dht11_record = 5;
constexpr size_t ap3216_record = 6;
// The straddling buffer's bytes before its guard page.
constexpr size_t straddle_lead = 3;

// Addresses a user pointer never legitimately holds: 32-bit ARM's kernel
// starts at one of these depending on its split, a 64-bit host's at the top.
#if UINTPTR_MAX == 0xffffffffu
constexpr uintptr_t kernel_addresses[] = {0xC0000000u, 0x80000000u};
#else
constexpr uintptr_t kernel_addresses[] = {0xffffffff80000000u, 0xffff800000000000u};
#endif

enum class Kind { open, read, write, seek, poll, control, close };
// Repeated for weight: the calls that reach the drivers most often.
constexpr Kind kinds[] = {Kind::open,  Kind::open,  Kind::read,    Kind::read,
			  Kind::read,  Kind::write, Kind::write,   Kind::write,
			  Kind::seek,  Kind::poll,  Kind::poll,    Kind::control,
			  Kind::control, Kind::close};

enum class Control { owner, async, nonblock };

constexpr int whences[] = {SEEK_SET, SEEK_CUR, SEEK_END, SEEK_DATA, SEEK_HOLE, 5, -1};

struct Buffer {
	const char *name;
	char *address;
	// How many bytes from address on memory can take, so a read can fill,
	// and how many it can give, so a write can take them.
	size_t writable;
	size_t readable;
	// In the process's half of the address space, where a node checks
	// only what it copies.
	bool user;
};

enum Buffer_index { valid, read_only, unmapped, straddling, null, kernel_low, kernel_high,
		    buffer_count };

// Everything one operation may need, drawn whatever the operation, so that
// the n-th operation of a seed is the same whatever the nodes answered.
struct Step {
	int node;
	Kind kind;
	unsigned slot;
	int open_flags;
	size_t count;
	int buffer;
	off_t offset;
	int whence;
	short events;
	Control control;
	uint32_t fill;
};

struct File {
	int fd;
	int node;
};

struct Run {
	uint32_t seed;
	unsigned long long operation;
	std::array<std::string, node_count> paths;
	std::array<Buffer, buffer_count> buffers;
	std::array<File, max_open> files;
	int open_files;
	unsigned long long refused;
	std::array<unsigned long long, node_count> per_node;
	// Reads and writes that succeeded, whose answers were checked whole.
	std::array<unsigned long long, node_count> moved;
};

// What is being called, for a violation's message.
char call_text[512];
volatile sig_atomic_t sigio_count;

// A result no honest file gives, told with the call that gave it.
[[noreturn]] __attribute__((format(printf, 1, 2))) void violation(const char *format, ...)
{
	char what[256];
	va_list args;
	va_start(args, format);
	vsnprintf(what, sizeof what, format, args);
	va_end(args);
	errx(1, "%s %s", call_text, what);
}

// SIGIO's default action would end the fuzz at the first motion.
void on_sigio(int)
{
	sigio_count = sigio_count + 1;
}

void install(int signal_number, void (*handler)(int))
{
	struct sigaction action = {};
	action.sa_handler = handler;
	sigemptyset(&action.sa_mask);
	if (sigaction(signal_number, &action, nullptr) != 0)
		errx(1, "sigaction: %s", strerror(errno));
}

// Describes the call about to be made.
__attribute__((format(printf, 3, 4))) void begin_call(const Run &run, int node,
						      const char *format, ...)
{
	int used = snprintf(call_text, sizeof call_text, "seed %" PRIu32 ", operation %llu, %s: ",
			    run.seed, run.operation, run.paths[node].c_str());
	if (used < 0 || static_cast<size_t>(used) >= sizeof call_text)
		used = 0;
	va_list args;
	va_start(args, format);
	vsnprintf(call_text + used, sizeof call_text - used, format, args);
	va_end(args);
}

bool known_error(int error)
{
	switch (error) {
	case EFAULT: case EINVAL: case ENODEV: case ENXIO: case ENOENT: case EIO:
	case EBUSY: case EAGAIN: case ESPIPE: case EBADF: case EPERM: case EACCES:
	case EINTR: case ETIMEDOUT: case ENOTTY: case ENOSPC: case EROFS:
		return true;
	default:
		return false;
	}
}

// Counts a refusal, after making sure it is one these nodes may give.
bool refusal(int error)
{
	if (!known_error(error))
		violation("failed with errno %d (%s), which these nodes never give", error,
			  strerror(error));
	return true;
}

// A refusal of a read or a write whose bytes the buffer could move: the
// node had no cause to fault on it.
bool refusal_of(int error, bool fits)
{
	if (error == EFAULT && fits)
		violation("failed with EFAULT on a buffer that can move the bytes");
	return refusal(error);
}

size_t page_size()
{
	return static_cast<size_t>(sysconf(_SC_PAGESIZE));
}

char *map_pages(size_t length, int protection)
{
	void *pages = mmap(nullptr, length, protection, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
	if (pages == MAP_FAILED)
		errx(1, "mmap %zu bytes: %s", length, strerror(errno));
	return static_cast<char *>(pages);
}

void protect(char *pages, size_t length, int protection)
{
	if (mprotect(pages, length, protection) != 0)
		errx(1, "mprotect: %s", strerror(errno));
}

// mincore refuses with ENOMEM exactly the pages this process has not mapped.
bool is_mapped(const char *address)
{
	const uintptr_t page = reinterpret_cast<uintptr_t>(address) & ~(page_size() - 1);
	unsigned char residency;
	return mincore(reinterpret_cast<void *>(page), 1, &residency) == 0 || errno != ENOMEM;
}

void fill_random(char *bytes, size_t length, std::mt19937 &random)
{
	for (size_t i = 0; i < length; i++)
		bytes[i] = static_cast<char>(random());
}

char *unmapped_page()
{
	char *page = map_pages(page_size(), PROT_READ | PROT_WRITE);
	if (munmap(page, page_size()) != 0)
		errx(1, "munmap: %s", strerror(errno));
	return page;
}

// Ends short of a PROT_NONE page, so a longer count runs into it.
char *straddling_bytes()
{
	char *pages = map_pages(2 * page_size(), PROT_READ | PROT_WRITE);
	protect(pages + page_size(), page_size(), PROT_NONE);
	return pages + page_size() - straddle_lead;
}

void prepare_buffers(Run &run, std::mt19937 &random)
{
	char *valid_bytes = map_pages(max_count, PROT_READ | PROT_WRITE);
	fill_random(valid_bytes, max_count, random);
	char *read_only_bytes = map_pages(max_count, PROT_READ | PROT_WRITE);
	fill_random(read_only_bytes, max_count, random);
	protect(read_only_bytes, max_count, PROT_READ);
	run.buffers[valid] = {"valid", valid_bytes, max_count, max_count, true};
	run.buffers[read_only] = {"read-only", read_only_bytes, 0, max_count, true};
	run.buffers[straddling] = {"straddling", straddling_bytes(), straddle_lead, straddle_lead,
				   true};
	run.buffers[null] = {"null", nullptr, 0, 0, true};
	run.buffers[kernel_low] = {"kernel", reinterpret_cast<char *>(kernel_addresses[0]), 0, 0,
				   false};
	run.buffers[kernel_high] = {"kernel", reinterpret_cast<char *>(kernel_addresses[1]), 0, 0,
				    false};
	// Last, so that no mapping of this setup takes its place.
	run.buffers[unmapped] = {"unmapped", unmapped_page(), 0, 0, true};
	for (int index : {unmapped, kernel_low, kernel_high})
		if (is_mapped(run.buffers[index].address))
			errx(1, "%p, meant as a %s buffer, is mapped", run.buffers[index].address,
			     run.buffers[index].name);
}

const Buffer &buffer_for(const Run &run, const Step &step)
{
	const Buffer &buffer = run.buffers[step.buffer];
	// The C library or the sanitizers may map memory later: where they took
	// this page, a "succeeded" would be no fault of the node.
	if (step.buffer == unmapped && is_mapped(buffer.address))
		errx(1, "the page unmapped for the fuzz at %p has been mapped since", buffer.address);
	return buffer;
}

template <typename Integer> Integer between(std::mt19937 &random, Integer low, Integer high)
{
	return std::uniform_int_distribution<Integer>(low, high)(random);
}

unsigned pick(std::mt19937 &random, unsigned choices)
{
	return between(random, 0u, choices - 1);
}

size_t draw_count(std::mt19937 &random)
{
	// The counts the nodes take or refuse, then anything.
	constexpr size_t notable[] = {0, 1, 5, 6, 7};
	const unsigned choice = pick(random, 7);
	if (choice < 5)
		return notable[choice];
	if (choice == 5)
		return between<size_t>(random, 2, 32);
	return between<size_t>(random, 0, max_count);
}

off_t draw_offset(std::mt19937 &random)
{
	constexpr off_t notable[] = {0, 1, 6, -1, std::numeric_limits<off_t>::max(),
				     std::numeric_limits<off_t>::min()};
	const unsigned choice = pick(random, 8);
	if (choice < 6)
		return notable[choice];
	if (choice == 6)
		return between<off_t>(random, -4096, 4096);
	return between(random, std::numeric_limits<off_t>::min(), std::numeric_limits<off_t>::max());
}

int draw_open_flags(std::mt19937 &random)
{
	constexpr int modes[] = {O_RDONLY, O_WRONLY, O_RDWR};
	const int mode = modes[pick(random, 3)];
	return pick(random, 4) == 0 ? mode | O_NONBLOCK : mode;
}

Step draw(std::mt19937 &random)
{
	Step step;
	step.node = static_cast<int>(pick(random, node_count));
	step.kind = kinds[pick(random, std::size(kinds))];
	step.slot = pick(random, max_open);
	step.open_flags = draw_open_flags(random);
	step.count = draw_count(random);
	step.buffer = static_cast<int>(pick(random, buffer_count));
	step.offset = draw_offset(random);
	step.whence = whences[pick(random, std::size(whences))];
	step.events = static_cast<short>(between(random, 0, 0xffff));
	step.control = static_cast<Control>(pick(random, 3));
	step.fill = static_cast<uint32_t>(random());
	return step;
}

std::string flags_text(int flags)
{
	std::string text;
	switch (flags & O_ACCMODE) {
	case O_RDONLY: text = "O_RDONLY"; break;
	case O_WRONLY: text = "O_WRONLY"; break;
	default: text = "O_RDWR"; break;
	}
	if (flags & O_NONBLOCK)
		text += "|O_NONBLOCK";
	if (flags & FASYNC)
		text += "|FASYNC";
	return text;
}

void open_node(Run &run, const Step &step)
{
	const char *path = run.paths[step.node].c_str();
	begin_call(run, step.node, "open(\"%s\", %s)", path, flags_text(step.open_flags).c_str());
	const int fd = open(path, step.open_flags);
	const int error = errno;
	if (fd < 0) {
		run.refused += refusal(error);
		return;
	}
	run.files[run.open_files++] = {fd, step.node};
}

bool close_file(Run &run, int index)
{
	const File file = run.files[index];
	run.files[index] = run.files[--run.open_files];
	begin_call(run, file.node, "close(fd %d)", file.fd);
	const int result = close(file.fd);
	const int error = errno;
	return result != 0 && refusal(error);
}

// Straight to the kernel: the sanitizers' wrappers of read and write would
// themselves trip over the bad buffers meant for the node.
ssize_t raw_read(int fd, void *bytes, size_t count)
{
	return syscall(SYS_read, fd, bytes, count);
}

ssize_t raw_write(int fd, const void *bytes, size_t count)
{
	return syscall(SYS_write, fd, bytes, count);
}

// What a node's driver does with a read or a write of some count: whether
// it takes the call at all, how many bytes it moves, and what it returns
// when it succeeds.
struct Answer {
	bool takes;
	size_t moved;
	ssize_t returned;
};

// From the drivers: /dev/dht11 copies its record, cut to the count, and
// returns 0, not a length; /dev/sr501 copies the line's level, a byte
// (none for a count of 0), and returns how many; /dev/ap3216 takes exactly
// its record and returns 0; /dev/sg90 has no read.
Answer read_answer(int node, size_t count)
{
	const size_t level = count == 0 ? 0 : 1;
	switch (node) {
	case dht11:
		return {true, std::min(count, dht11_record), 0};
	case sr501:
		return {true, level, static_cast<ssize_t>(level)};
	case ap3216:
		return {count == ap3216_record, ap3216_record, 0};
	default:
		return {false, 0, 0};
	}
}

// Only /dev/sg90 writes: one byte, the angle, or nothing of an empty write.
Answer write_answer(int node, size_t count)
{
	return {node == sg90 && count <= 1, count, static_cast<ssize_t>(count)};
}

// A read's or a write's result against the node's answer: a success is the
// node's own return, and only where the buffer can move the bytes, which a
// node that reports 0 could otherwise claim to have copied; a refusal is
// one these nodes give. True for a refusal.
bool judge(ssize_t result, int error, const Answer &answer, const Buffer &buffer, size_t room)
{
	const bool fits = answer.takes && answer.moved <= room;
	if (result < 0)
		return refusal_of(error, fits && buffer.user);
	if (!answer.takes)
		violation("returned %zd, where the node refuses the call", result);
	if (result != answer.returned)
		violation("returned %zd, where the node returns %zd", result, answer.returned);
	if (!fits)
		violation("returned %zd, a success, yet that memory cannot move the %zu bytes", result,
			  answer.moved);
	return false;
}

bool read_file(Run &run, const File &file, const Step &step)
{
	const Buffer &buffer = buffer_for(run, step);
	begin_call(run, file.node, "read(fd %d, %s buffer %p, %zu)", file.fd, buffer.name,
		   static_cast<void *>(buffer.address), step.count);
	const ssize_t got = raw_read(file.fd, buffer.address, step.count);
	const int error = errno;
	const bool refused =
		judge(got, error, read_answer(file.node, step.count), buffer, buffer.writable);
	run.moved[file.node] += !refused;
	return refused;
}

bool write_file(Run &run, const File &file, const Step &step)
{
	const Buffer &buffer = buffer_for(run, step);
	// Fresh bytes at the start, so the servo sees other angles each time.
	if (step.buffer == valid)
		memcpy(buffer.address, &step.fill, sizeof step.fill);
	begin_call(run, file.node, "write(fd %d, %s buffer %p, %zu)", file.fd, buffer.name,
		   static_cast<void *>(buffer.address), step.count);
	const ssize_t put = raw_write(file.fd, buffer.address, step.count);
	const int error = errno;
	const bool refused =
		judge(put, error, write_answer(file.node, step.count), buffer, buffer.readable);
	run.moved[file.node] += !refused;
	return refused;
}

bool seek_file(const Run &run, const File &file, const Step &step)
{
	begin_call(run, file.node, "lseek(fd %d, %" PRId64 ", whence %d)", file.fd,
		   static_cast<int64_t>(step.offset), step.whence);
	const off_t position = lseek(file.fd, step.offset, step.whence);
	const int error = errno;
	if (position == -1)
		return refusal(error);
	if (position < 0)
		violation("returned the negative position %" PRId64, static_cast<int64_t>(position));
	return false;
}

bool poll_file(const Run &run, const File &file, const Step &step)
{
	pollfd entry = {file.fd, step.events, 0};
	const unsigned asked = static_cast<unsigned short>(step.events);
	begin_call(run, file.node, "poll(fd %d, events 0x%x, timeout 0)", file.fd, asked);
	const int ready = poll(&entry, 1, 0);
	const int error = errno;
	if (ready < 0)
		return refusal(error);
	const unsigned returned = static_cast<unsigned short>(entry.revents);
	const unsigned allowed = asked | POLLERR | POLLHUP | POLLNVAL;
	if (returned & ~allowed)
		violation("set revents 0x%x, bits 0x%x of which were not asked", returned,
			  returned & ~allowed);
	if (ready != (returned != 0 ? 1 : 0))
		violation("returned %d with revents 0x%x", ready, returned);
	return false;
}

bool set_owner(const Run &run, const File &file)
{
	const pid_t self = getpid();
	begin_call(run, file.node, "fcntl(fd %d, F_SETOWN, %d)", file.fd, static_cast<int>(self));
	const int result = fcntl(file.fd, F_SETOWN, self);
	const int error = errno;
	if (result == -1)
		return refusal(error);
	if (result != 0)
		violation("returned %d", result);
	return false;
}

int file_flags(int fd)
{
	const int flags = fcntl(fd, F_GETFL);
	if (flags < 0)
		violation("then F_GETFL failed: %s", strerror(errno));
	return flags;
}

// O_NONBLOCK is the kernel's to set once F_SETFL succeeds. F_SETFL calls
// the node's fasync only when FASYNC is to change, and leaves the flag to
// it: sr501's sets or clears it as asked; the other nodes have none, so
// their files keep what open gave them (this fuzz never opens with it). A
// refused F_SETFL changes neither.
bool flags_consistent(int node, int before, int asked, int after, bool took)
{
	const int now = took ? asked : before;
	const int async = node == sr501 ? now & FASYNC : before & FASYNC;
	return (after & O_NONBLOCK) == (now & O_NONBLOCK) && (after & FASYNC) == async;
}

// Flips one of the flags F_SETFL changes and checks what the file then has.
bool toggle_flag(const Run &run, const File &file, int flag, const char *flag_name)
{
	begin_call(run, file.node, "fcntl(fd %d, F_SETFL, flags ^ %s)", file.fd, flag_name);
	const int before = file_flags(file.fd);
	const int asked = before ^ flag;
	const int result = fcntl(file.fd, F_SETFL, asked);
	const int error = errno;
	const int after = file_flags(file.fd);
	if (!flags_consistent(file.node, before, asked, after, result == 0))
		violation("from %s returned %d, and the file then has %s", flags_text(before).c_str(),
			  result, flags_text(after).c_str());
	if (result == -1)
		return refusal(error);
	if (result != 0)
		violation("returned %d", result);
	return false;
}

bool control_file(const Run &run, const File &file, const Step &step)
{
	switch (step.control) {
	case Control::owner:
		return set_owner(run, file);
	case Control::async:
		return toggle_flag(run, file, FASYNC, "FASYNC");
	default:
		return toggle_flag(run, file, O_NONBLOCK, "O_NONBLOCK");
	}
}

// One of the open files of the step's node, or -1 when it has none.
int file_of_node(const Run &run, const Step &step)
{
	int matches = 0;
	for (int i = 0; i < run.open_files; i++)
		matches += run.files[i].node == step.node;
	if (matches == 0)
		return -1;
	int wanted = static_cast<int>(step.slot % static_cast<unsigned>(matches));
	for (int i = 0; i < run.open_files; i++)
		if (run.files[i].node == step.node && wanted-- == 0)
			return i;
	return -1;
}

bool call_on_file(Run &run, const File &file, const Step &step)
{
	switch (step.kind) {
	case Kind::read:
		return read_file(run, file, step);
	case Kind::write:
		return write_file(run, file, step);
	case Kind::seek:
		return seek_file(run, file, step);
	case Kind::poll:
		return poll_file(run, file, step);
	default:
		return control_file(run, file, step);
	}
}

// A call on a node with no open file opens it instead; an open with all
// descriptors taken closes one instead.
void perform(Run &run, const Step &step)
{
	const int index = file_of_node(run, step);
	if (index >= 0 && step.kind == Kind::close) {
		run.per_node[run.files[index].node]++;
		run.refused += close_file(run, index);
	} else if (index >= 0 && step.kind != Kind::open) {
		run.per_node[step.node]++;
		run.refused += call_on_file(run, run.files[index], step);
	} else if (run.open_files == max_open) {
		const int victim = static_cast<int>(step.slot % max_open);
		run.per_node[run.files[victim].node]++;
		run.refused += close_file(run, victim);
	} else {
		run.per_node[step.node]++;
		open_node(run, step);
	}
}

bool parse_decimal(const char *text, unsigned long long max, unsigned long long &value)
{
	if (*text == '\0')
		return false;
	value = 0;
	for (; *text != '\0'; text++) {
		if (*text < '0' || *text > '9')
			return false;
		const unsigned digit = static_cast<unsigned>(*text - '0');
		if (value > (max - digit) / 10)
			return false;
		value = value * 10 + digit;
	}
	return true;
}

void set_paths(Run &run)
{
	for (int node = 0; node < node_count; node++)
		run.paths[node] = std::string("/dev/") + node_names[node];
}

// "TITLE: dht11 N, sr501 N, ap3216 N, sg90 N".
void print_per_node(const char *title, const std::array<unsigned long long, node_count> &counts)
{
	printf("node_fuzz: %s:", title);
	for (int node = 0; node < node_count; node++)
		printf("%s %s %llu", node == 0 ? "" : ",", node_names[node], counts[node]);
	printf("\n");
}

void print_summary(const Run &run, unsigned long long count)
{
	printf("node_fuzz: seed %" PRIu32 ", %llu operations, %llu refused, %d SIGIO\n", run.seed,
	       count, run.refused, static_cast<int>(sigio_count));
	print_per_node("per node", run.per_node);
	print_per_node("reads and writes that succeeded", run.moved);
}

} // namespace

int main(int argc, char **argv)
{
	unsigned long long seed, count;
	if (argc != 3 || !parse_decimal(argv[1], std::numeric_limits<uint32_t>::max(), seed) ||
	    !parse_decimal(argv[2], std::numeric_limits<unsigned long long>::max(), count)) {
		fputs("usage: node_fuzz SEED COUNT (decimal)\n", stderr);
		return 2;
	}
	Run run = {};
	run.seed = static_cast<uint32_t>(seed);
	set_paths(run);
	install(SIGIO, on_sigio);

	std::mt19937 random(run.seed);
	prepare_buffers(run, random);
	for (run.operation = 0; run.operation < count; run.operation++)
		perform(run, draw(random));
	// Not operations of the seed: only their errors count.
	while (run.open_files > 0)
		close_file(run, run.open_files - 1);

	print_summary(run, count);
	return 0;
}
