// Test support, inside the harness: answers the program's read(2) and
// write(2) of its stand-in node from a NodeModel. The program's seccomp
// filter hands every read and write to the listener here; those on another
// file go on to the kernel untouched.
#ifndef SENSORKIT_TESTS_NODE_SERVER_H
#define SENSORKIT_TESTS_NODE_SERVER_H

#include <sys/types.h>

#include <thread>

#include "node_model.h"

// Which file the node is.
struct NodeId {
	dev_t device;
	ino_t inode;
};

class NodeServer {
public:
	// Takes the listener.
	NodeServer(int listener, NodeModel model, NodeId node);
	~NodeServer();
	NodeServer(const NodeServer &) = delete;
	NodeServer &operator=(const NodeServer &) = delete;

private:
	void serve();
	void answer_one();

	int listener_;
	int stop_; // an eventfd: the thread ends when it is written
	NodeModel model_;
	NodeId node_;
	std::thread thread_;
};

#endif
