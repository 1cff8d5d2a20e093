// Test support: how a stand-in device node answers the program's calls, as
// its driver would.
#ifndef SENSORKIT_TESTS_NODE_MODEL_H
#define SENSORKIT_TESTS_NODE_MODEL_H

#include <cstddef>
#include <functional>
#include <string>

struct NodeReply {
	std::string bytes; // copied into the caller's buffer, no more than it asked
	long result;       // what the call returns: a count, or -errno
};

// Both are called on the harness's own thread, one call at a time, while the
// program waits in its call. One that waits for the test must give up within
// the harness's patience. A call with no function fails with EINVAL, as on
// a driver that has no such operation.
struct NodeModel {
	// read(2) of `count` bytes.
	std::function<NodeReply(std::size_t count)> read;
	// write(2) of the caller's bytes (at most the first MiB of them).
	std::function<long(const std::string &bytes)> write;
};

#endif
