// servo_set as a black box: each row runs it once in a private /dev whose
// sg90 node answers as servo_drv does, is the kernel's /dev/full, or is
// missing, and checks the bytes the node took, the output and the status.
#include "program_run.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cerrno>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace {

using testing::HasSubstr;
using testing::StartsWith;

// The servo behind the node. As the driver, a write of one byte takes it as
// the angle and returns 1, an empty one returns 0, any other fails with
// EINVAL.
struct Servo {
	std::mutex lock;
	std::string angles;

	static NodeModel model(const std::shared_ptr<Servo> &servo)
	{
		return {{}, [servo](const std::string &bytes) -> long {
				if (bytes.size() > 1)
					return -EINVAL;
				std::lock_guard<std::mutex> hold(servo->lock);
				servo->angles += bytes;
				return static_cast<long>(bytes.size());
			}};
	}
};

struct Row {
	const char *name;
	std::vector<std::string> args;
	Node node;
	int status;
	std::string angles; // what the node took, when it is served
	std::string out;
	testing::Matcher<const std::string &> err;
};

class ServoSet : public testing::TestWithParam<Row> {};

TEST_P(ServoSet, Runs)
{
	const Row &row = GetParam();
	auto servo = std::make_shared<Servo>();
	ProgramRun run({SERVO_SET, "servo_set", row.args,
			PrivateDev{"sg90", row.node, Servo::model(servo)}, {}, Stdout::pipe});
	EXPECT_EQ(run.wait_exit(), row.status);
	EXPECT_EQ(run.rest_of_output(), row.out);
	EXPECT_THAT(run.rest_of_errors(), row.err);
	if (row.node == Node::served) {
		std::lock_guard<std::mutex> hold(servo->lock);
		EXPECT_EQ(servo->angles, row.angles);
	}
}

const testing::Matcher<const std::string &> nothing = "";

// The angle byte: atoi's reading of the argument, low 8 bits.
INSTANTIATE_TEST_SUITE_P(Angle, ServoSet, testing::Values(
	Row{"90", {"90"}, Node::served, 0, "\x5a", "", nothing},
	Row{"180", {"180"}, Node::served, 0, "\xb4", "", nothing},
	Row{"text", {"abc"}, Node::served, 0, std::string(1, '\0'), "", nothing},
	Row{"suffix", {"45deg"}, Node::served, 0, "\x2d", "", nothing},
	Row{"leading_blank", {" 45"}, Node::served, 0, "\x2d", "", nothing},
	Row{"256", {"256"}, Node::served, 0, std::string(1, '\0'), "", nothing},
	Row{"300", {"300"}, Node::served, 0, "\x2c", "", nothing},
	Row{"minus_1", {"-1"}, Node::served, 0, "\xff", "", nothing},
	Row{"extra_arguments_ignored", {"10", "20"}, Node::served, 0, "\x0a", "", nothing},
	Row{"empty_argument", {""}, Node::served, 0, std::string(1, '\0'), "", nothing},
	Row{"huge_argument", {"45" + std::string(100000, 'x')}, Node::served, 0, "\x2d", "",
	    nothing}),
	[](const testing::TestParamInfo<Row> &info) { return std::string(info.param.name); });

INSTANTIATE_TEST_SUITE_P(Failure, ServoSet, testing::Values(
	Row{"no_node", {"90"}, Node::none, 1, "", "sg90 open failed\n", nothing},
	Row{"no_node_no_argument", {}, Node::none, 1, "", "sg90 open failed\n", nothing},
	Row{"no_argument", {}, Node::served, 1, "", "", StartsWith("usage: servo_set ")},
	Row{"write_refused", {"90"}, Node::full, 1, "", "",
	    HasSubstr("No space left on device")}),
	[](const testing::TestParamInfo<Row> &info) { return std::string(info.param.name); });

} // namespace
