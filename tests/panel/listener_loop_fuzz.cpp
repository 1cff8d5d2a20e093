// libFuzzer target: the listener's own read loop, on its own thread, reading a
// pipe that is fed the input in chunks and then closed. What the loop prints
// and emits is checked against a plain model of the documented loop.
//
// Input: the first byte's low four bits give n, the next n bytes the lengths of
// the first n writes (0 writes nothing); the rest is the line, and whatever the
// lengths leave goes in one last write. After each write the fuzzer waits until
// the loop has taken every byte, so its reads stop at the chunk's edge.
#include <QThread>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include <fcntl.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include "frame_parse.h"
#include "output_capture.h"
#include "serial_listener.h"

namespace {

// A frame, braces included, fits in 20 bytes.
constexpr std::size_t window_size = 20;
// Well beyond any input's time, so only a stuck loop reaches it.
constexpr auto stuck_after = std::chrono::seconds(10);

// The loop's standard output, from the first input on.
OutputCapture *printed = nullptr;

std::string escaped(const std::string &text)
{
	std::string out;
	for (unsigned char c : text) {
		if (c >= 0x20 && c < 0x7f && c != '\\') {
			out += static_cast<char>(c);
		} else {
			char code[8];
			std::snprintf(code, sizeof code, "\\x%02x", c);
			out += code;
		}
	}
	return out;
}

void require(bool holds, const char *what)
{
	if (holds)
		return;
	std::fprintf(stderr, "listener_loop_fuzz: %s\n", what);
	std::abort();
}

void require_equal(const std::string &actual, const std::string &expected, const char *what)
{
	if (actual == expected)
		return;
	std::fprintf(stderr, "listener_loop_fuzz: %s\n  expected: %s\n  actual:   %s\n", what,
		     escaped(expected).c_str(), escaped(actual).c_str());
	std::abort();
}

struct Input {
	std::vector<std::size_t> chunks;
	std::string line;
};

Input split(const std::uint8_t *data, std::size_t size)
{
	Input input;
	if (size == 0)
		return input;
	const std::size_t lengths = std::min<std::size_t>(data[0] & 0x0f, size - 1);
	const std::uint8_t *line = data + 1 + lengths;
	input.line.assign(reinterpret_cast<const char *>(line), data + size - line);
	std::size_t left = input.line.size();
	for (std::size_t i = 0; i < lengths; ++i) {
		const std::size_t chunk = std::min<std::size_t>(data[1 + i], left);
		input.chunks.push_back(chunk);
		left -= chunk;
	}
	input.chunks.push_back(left);
	return input;
}

// The loop as documented, byte by byte: the window starts empty; a closing
// brace completes a frame unless a zero byte came before it in the window,
// whose text ends there; a window of 20 bytes without one starts over. The
// line's end drops an incomplete window.
std::vector<std::string> frames_of(const std::string &line)
{
	std::vector<std::string> frames;
	std::string window;
	for (char byte : line) {
		// A frame starts at its '{'; anything else outside one is dropped.
		if (byte == '{')
			window.clear();
		else if (window.empty())
			continue;
		window += byte;
		if (byte == '}') {
			frames.push_back(window);
			window.clear();
		} else if (window.size() == window_size) {
			window.clear();
		}
	}
	return frames;
}

// A frame as the sender writes it: "{module,value}", module 1 to 9 bytes and
// value 1 to 8, neither holding ',', '{', '}' or a zero byte.
bool well_formed(const std::string &frame, std::string &module, std::string &value)
{
	if (frame.size() < 5 || frame.front() != '{' || frame.back() != '}')
		return false;
	const std::string body = frame.substr(1, frame.size() - 2);
	const std::size_t comma = body.find(',');
	if (comma == std::string::npos || body.find(',', comma + 1) != std::string::npos ||
	    body.find_first_of(std::string("{}\0", 3)) != std::string::npos)
		return false;
	module = body.substr(0, comma);
	value = body.substr(comma + 1);
	return module.size() >= 1 && module.size() <= 9 && value.size() >= 1 && value.size() <= 8;
}

struct Emission {
	bool terminated;
	bool on_listener_thread;
	std::string module;
	std::string value;
};

std::string field_text(const char *field, bool &terminated)
{
	terminated = std::memchr(field, '\0', frame_field_size) != nullptr;
	return terminated ? std::string(field) : std::string(field, frame_field_size);
}

void write_all(int fd, const char *bytes, std::size_t size)
{
	while (size > 0) {
		const ssize_t n = write(fd, bytes, size);
		require(n > 0, "writing the line failed");
		bytes += n;
		size -= static_cast<std::size_t>(n);
	}
}

// Until the loop has read every byte written so far.
void wait_until_taken(int fd, const Serial_Listener &listener)
{
	const auto deadline = std::chrono::steady_clock::now() + stuck_after;
	int waiting = 0;
	while (ioctl(fd, FIONREAD, &waiting) == 0 && waiting > 0) {
		require(!listener.isFinished(), "the loop ended before the line did");
		require(std::chrono::steady_clock::now() < deadline, "the loop stopped reading");
		std::this_thread::yield();
	}
}

struct Run {
	std::vector<Emission> emissions;
	std::string output;
};

// The listener on a pipe fed with the input's chunks, until the pipe closes.
Run run_loop(const Input &input)
{
	Run run;
	printed->clear();
	int line[2];
	require(pipe2(line, O_CLOEXEC) == 0, "pipe failed");
	{
		Serial_Listener listener(line[0]);
		QObject::connect(
			&listener, &Serial_Listener::to_main, &listener,
			[&](char *module, char *value) {
				Emission emission;
				bool value_terminated;
				emission.module = field_text(module, emission.terminated);
				emission.value = field_text(value, value_terminated);
				emission.terminated = emission.terminated && value_terminated;
				emission.on_listener_thread = QThread::currentThread() == &listener;
				run.emissions.push_back(emission);
			},
			Qt::DirectConnection);
		listener.start();
		std::size_t written = 0;
		for (std::size_t chunk : input.chunks) {
			write_all(line[1], input.line.data() + written, chunk);
			written += chunk;
			wait_until_taken(line[0], listener);
		}
		close(line[1]);
		const bool ended = listener.wait(static_cast<unsigned long>(
			std::chrono::milliseconds(stuck_after).count()));
		require(ended, "the loop did not end when the line closed");
	}
	close(line[0]);
	std::fflush(stdout);
	run.output = printed->text();
	return run;
}

void check(const Input &input, const Run &run)
{
	const std::vector<std::string> frames = frames_of(input.line);
	char module[frame_field_size] = {};
	char value[frame_field_size] = {};
	std::string expected = "uart_recv\n";
	std::size_t emitted = 0;
	for (const std::string &frame : frames) {
		// The window's text ends at a zero byte.
		const std::string text = frame.c_str();
		expected += "uart recv = " + text + "\n";
		std::string sent_module, sent_value;
		const bool sent = well_formed(frame, sent_module, sent_value);
		require(parse_frame(text.c_str(), module, value) == sent,
			"a frame taken apart that was not sent so, or the other way");
		if (!sent) {
			expected += "frame dropped: not {module,value}\n";
			continue;
		}
		require(emitted < run.emissions.size(), "a frame not emitted");
		const Emission &emission = run.emissions[emitted++];
		require(emission.terminated, "an emitted field has no terminating zero");
		require(emission.on_listener_thread, "emitted off the listener's thread");
		require_equal(emission.module, sent_module, "module of a sent frame");
		require_equal(emission.value, sent_value + "}", "value of a sent frame");
		expected += "module = " + emission.module + ", value = " + emission.value + "\n";
	}
	require(emitted == run.emissions.size(), "an emission for a dropped frame");
	expected += "uart recv ended: end of file\n";
	// Each printed frame is whole and no longer than the window.
	require_equal(run.output, expected, "printed output");
}

} // namespace

// The loop prints on standard output, which is captured from here on;
// libFuzzer reports on standard error.
extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
	printed = new OutputCapture(STDOUT_FILENO);
	return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
	const Input input = split(data, size);
	check(input, run_loop(input));
	return 0;
}
