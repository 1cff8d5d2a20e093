// Test support, inside the harness: answers the program's read(2) and
// write(2) of its stand-in nodes, each from its NodeModel. The program's
// seccomp filter hands every read and write to the listener here; those on
// another file go on to the kernel untouched.
#ifndef SENSORKIT_TESTS_NODE_SERVER_H
#define SENSORKIT_TESTS_NODE_SERVER_H

#include <sys/types.h>

#include <string>
#include <thread>
#include <vector>

#include "node_model.h"

// Which file the node is.
struct NodeId {
	dev_t device;
	ino_t inode;
};

struct ServedNode {
	NodeId id;
	NodeModel model;
};

class NodeServer {
public:
	// Takes the listener.
	NodeServer(int listener, std::vector<ServedNode> nodes);
	~NodeServer();
	NodeServer(const NodeServer &) = delete;
	NodeServer &operator=(const NodeServer &) = delete;

private:
	void serve();
	void answer_one();
	// The node that the program's FILE (/proc/PID/fd/N) is, or nullptr.
	const ServedNode *serving(const std::string &file) const;

	int listener_;
	int stop_; // an eventfd: the thread ends when it is written
	std::vector<ServedNode> nodes_;
	std::thread thread_;
};

#endif
