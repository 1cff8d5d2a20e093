// sensor_frames seen from outside: in a mount namespace of its own, where
// stand-ins answer /dev/dht11, /dev/ap3216 and /dev/sr501 as their drivers
// do, sending on a pseudo-terminal that the test reads as the panel would.
#include "program_run.h"
#include "pty_pair.h"
#include "wait.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <poll.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace {

using std::chrono::milliseconds;
using testing::HasSubstr;

// One read of a node: its record, or the error its driver returns.
struct Answer {
	std::string record;
	int error = 0;
};

// Answers a node's reads with the answers in turn, the last one for ever;
// a good read returns what the node's driver returns (0, or 1 for sr501).
// A sensor that rests after each answer fails a read meanwhile, as the
// driver does when nothing answers its exchange.
class Stand {
public:
	Stand(std::vector<Answer> answers, long good_result,
	      std::chrono::milliseconds rest = std::chrono::milliseconds(0))
		: answers_(std::move(answers)), good_result_(good_result), rest_(rest)
	{
	}

	static NodeModel model(const std::shared_ptr<Stand> &stand)
	{
		return {[stand](std::size_t count) { return stand->read(count); }, {}};
	}

	void answer(std::vector<Answer> answers)
	{
		std::lock_guard<std::mutex> hold(lock_);
		answers_ = std::move(answers);
		next_ = 0;
	}

	int reads()
	{
		std::lock_guard<std::mutex> hold(lock_);
		return reads_;
	}

private:
	NodeReply read(std::size_t count)
	{
		std::lock_guard<std::mutex> hold(lock_);
		++reads_;
		const auto now = std::chrono::steady_clock::now();
		if (answered_ && now - *answered_ < rest_)
			return {"", -EIO};
		const Answer &answer = answers_[std::min(next_++, answers_.size() - 1)];
		if (answer.error)
			return {"", -answer.error};
		answered_ = now;
		return {answer.record.substr(0, count), good_result_};
	}

	std::mutex lock_;
	std::vector<Answer> answers_;
	std::size_t next_ = 0;
	long good_result_;
	std::chrono::milliseconds rest_;
	std::optional<std::chrono::steady_clock::time_point> answered_;
	int reads_ = 0;
};

std::string bytes(std::initializer_list<unsigned char> list)
{
	return std::string(list.begin(), list.end());
}

// The DHT11 rests a second after each answer (the board's emulated one
// too; a real one one to two seconds).
std::shared_ptr<Stand> dht11(std::vector<Answer> answers)
{
	return std::make_shared<Stand>(std::move(answers), 0, std::chrono::milliseconds(1000));
}

std::shared_ptr<Stand> ap3216(std::vector<Answer> answers)
{
	return std::make_shared<Stand>(std::move(answers), 0);
}

std::shared_ptr<Stand> sr501(unsigned char level)
{
	return std::make_shared<Stand>(std::vector<Answer>{{bytes({level})}}, 1);
}

// The kit's nodes; a missing stand is a missing node.
struct Kit {
	std::shared_ptr<Stand> dht11;
	std::shared_ptr<Stand> ap3216;
	std::shared_ptr<Stand> sr501;
};

PrivateDev node(const char *name, const std::shared_ptr<Stand> &stand)
{
	return {name, stand ? Node::served : Node::none, stand ? Stand::model(stand) : NodeModel{}};
}

// sensor_frames sending on a pseudo-terminal, which the program reaches
// from its private /dev through this process's descriptor of it.
class FramesRun {
public:
	FramesRun(const Kit &kit, std::vector<std::string> args)
		: run_(options(kit, std::move(args)))
	{
	}

	ProgramRun &program() { return run_; }

	// What the line carried since the last call, once it holds `want`.
	std::string line_until(const std::string &want, milliseconds within = patience)
	{
		const bool found = wait_until(
			[&] {
				take_line();
				return carried_.find(want) != std::string::npos;
			},
			within);
		if (!found)
			throw std::runtime_error("no " + want + " on the line; it carried '" +
						 carried_ + "'");
		return std::exchange(carried_, {});
	}

	// Everything the line carried.
	std::string all_sent()
	{
		take_line();
		return sent_;
	}

private:
	RunOptions options(const Kit &kit, std::vector<std::string> args)
	{
		const std::string port = "/proc/" + std::to_string(getpid()) + "/fd/" +
					 std::to_string(line_.slave());
		args.insert(args.begin(), {"--port", port});
		RunOptions run{SENSOR_FRAMES, "sensor_frames", std::move(args),
			       node("sr501", kit.sr501), {}, Stdout::pipe};
		run.other_nodes = {node("dht11", kit.dht11), node("ap3216", kit.ap3216)};
		return run;
	}

	void take_line()
	{
		pollfd ready = {line_.master(), POLLIN, 0};
		char chunk[256];
		while (poll(&ready, 1, 0) == 1 && (ready.revents & POLLIN)) {
			const ssize_t n = read(line_.master(), chunk, sizeof chunk);
			if (n <= 0)
				return;
			carried_.append(chunk, static_cast<std::size_t>(n));
			sent_.append(chunk, static_cast<std::size_t>(n));
		}
	}

	PtyPair line_;
	ProgramRun run_;
	std::string carried_;
	std::string sent_;
};

const std::string good_dht11 = bytes({45, 0, 23, 5, 73});
const std::string good_ap3216 = bytes({0x00, 0x0A, 0x01, 0x2C, 0x00, 0x64});

// Every frame as its record says, back to back, pir on each SIGIO; each
// write is printed too, and a signal ends the program with every line out.
TEST(SensorFrames, SendsEachRecordAsFramesAndEveryFrameIsOutAtTheEnd)
{
	const Kit kit{dht11({{bytes({90, 1, 0, 9, 100})}}),
		      ap3216({{bytes({0xFF, 0xFF, 0x80, 0x00, 0x00, 0x01})}}), sr501(1)};
	FramesRun frames(kit, {"--interval", "1"});
	EXPECT_EQ(frames.line_until("{ir,65535}"),
		  "{pir,1}{temp,0.9}{humi,90.1}{light,32768}{dis,1}{ir,65535}");

	kit.sr501->answer({{bytes({0})}});
	ASSERT_EQ(frames.program().notify(SIGIO), 1);
	frames.line_until("{pir,0}");
	kit.ap3216->answer({{good_ap3216}});
	EXPECT_THAT(frames.line_until("{ir,10}"), HasSubstr("{light,300}{dis,100}{ir,10}"));

	frames.program().send(SIGTERM);
	EXPECT_EQ(frames.program().wait_exit(), -1);
	std::string printed = frames.program().rest_of_output();
	printed.erase(std::remove(printed.begin(), printed.end(), '\n'), printed.end());
	EXPECT_EQ(printed, frames.all_sent()) << "the lines printed are the frames sent";
	EXPECT_EQ(frames.program().rest_of_errors(), "");
}

// Missing nodes are said once and their frames left out; the others go on.
TEST(SensorFrames, SkipsAMissingNodeSayingSoOnce)
{
	const Kit kit{nullptr, ap3216({{good_ap3216}}), nullptr};
	FramesRun frames(kit, {"--interval", "1"});
	frames.line_until("{ir,10}");
	EXPECT_EQ(frames.line_until("{ir,10}"), "{light,300}{dis,100}{ir,10}");
	frames.program().send(SIGTERM);
	frames.program().wait_exit();
	EXPECT_EQ(frames.program().rest_of_errors(),
		  "sensor_frames: skipping /dev/sr501: No such file or directory\n"
		  "sensor_frames: skipping /dev/dht11: No such file or directory\n");
}

// A failing node, or a DHT11 record with a bad checksum, sends nothing
// made up: one line when it starts failing, one when it answers again.
TEST(SensorFrames, SkipsAFailingNodeUntilItAnswersAgain)
{
	const Kit kit{dht11({{bytes({12, 0, 45, 7, 0})}}),
		      ap3216({{"", ENODEV}, {"", ENODEV}, {good_ap3216}}), sr501(0)};
	FramesRun frames(kit, {"--interval", "1"});
	EXPECT_EQ(frames.line_until("{ir,10}"), "{pir,0}{light,300}{dis,100}{ir,10}");
	kit.dht11->answer({{good_dht11}});
	EXPECT_THAT(frames.line_until("{humi,45.0}"), HasSubstr("{temp,23.5}{humi,45.0}{light,300}"));
	frames.program().send(SIGTERM);
	frames.program().wait_exit();
	EXPECT_EQ(frames.program().rest_of_errors(),
		  "sensor_frames: skipping /dev/dht11: bad checksum 0c 00 2d 07 00\n"
		  "sensor_frames: skipping /dev/ap3216: No such device\n"
		  "sensor_frames: /dev/ap3216 is back\n"
		  "sensor_frames: /dev/dht11 is back\n");
}

// Rounds every second, the DHT11 in every other one: it measures at most
// once every two seconds.
TEST(SensorFrames, ReadsTheDht11AtMostEveryTwoSeconds)
{
	const Kit kit{dht11({{good_dht11}}), ap3216({{good_ap3216}}), sr501(0)};
	FramesRun frames(kit, {"--interval", "1"});
	ASSERT_TRUE(wait_until([&] { return kit.ap3216->reads() >= 5; }, milliseconds(8000)));
	EXPECT_LE(kit.dht11->reads(), 3);
	frames.program().send(SIGTERM);
	frames.program().wait_exit();
	EXPECT_EQ(frames.program().rest_of_errors(), "") << "no read while the sensor rested";
}

struct Misuse {
	const char *what;
	std::vector<std::string> args;
	const char *problem;
};

class CommandLine : public testing::TestWithParam<Misuse> {};

TEST_P(CommandLine, IsRefusedBeforeAnythingIsOpened)
{
	ProgramRun run({SENSOR_FRAMES, "sensor_frames", GetParam().args, {}, {}, Stdout::pipe});
	EXPECT_EQ(run.wait_exit(), 2);
	EXPECT_EQ(run.rest_of_output(), "");
	EXPECT_EQ(run.rest_of_errors(),
		  std::string("sensor_frames: ") + GetParam().problem +
			  "\nusage: sensor_frames [--port PATH] [--baud N] [--interval SECONDS]\n");
}

INSTANTIATE_TEST_SUITE_P(
	SensorFrames, CommandLine,
	testing::Values(
		Misuse{"baud_wrapping_to_a_supported_one", {"--baud=4294976896"},
		       "unsupported baud rate '4294976896' (2400, 4800, 9600 or 115200)"},
		Misuse{"interval_zero", {"--interval", "0"},
		       "the interval must be a whole number of seconds, at least 1"},
		Misuse{"value_is_the_next_option", {"--port", "--baud", "9600"},
		       "missing value after '--port'"},
		Misuse{"value_empty", {"--port="}, "empty value for '--port'"},
		Misuse{"unknown_option", {"--speed", "9600"}, "unknown option '--speed'"},
		Misuse{"argument", {"/dev/ttyS0"}, "unexpected argument '/dev/ttyS0'"}),
	[](const testing::TestParamInfo<Misuse> &info) { return info.param.what; });

TEST(SensorFrames, HelpAndAPortThatCannotBeOpened)
{
	ProgramRun help({SENSOR_FRAMES, "sensor_frames", {"--help"}, {}, {}, Stdout::pipe});
	EXPECT_EQ(help.wait_exit(), 0);
	EXPECT_THAT(help.rest_of_output(),
		    testing::StartsWith("usage: sensor_frames [--port PATH] [--baud N]"));

	ProgramRun run({SENSOR_FRAMES, "sensor_frames", {"--port", "/nonexistent/tty"}, {}, {},
			Stdout::pipe});
	EXPECT_EQ(run.wait_exit(), 1);
	EXPECT_EQ(run.rest_of_errors(),
		  "sensor_frames: cannot open /nonexistent/tty: No such file or directory\n");
}

} // namespace
