// Device nodes and the file calls a user process makes on them.
#pragma once

#include <fcntl.h>
#include <sys/types.h>

#include <string>
#include <vector>

struct file;

namespace ksim::fs {

bool exists(const std::string &path);
std::vector<std::string> nodes();
dev_t devt(const std::string &path);

// System calls: a file descriptor or the result, or a negative errno.
// Buffers are user memory (ksim/uaccess.hpp) or deliberately bad addresses.
int open(const std::string &path, int flags = O_RDWR);
ssize_t read(int fd, void *buf, size_t count);
ssize_t write(int fd, const void *buf, size_t count);
int close(int fd);
// F_SETOWN, F_GETFL and F_SETFL, whose FASYNC bit reaches the
// driver's fasync operation.
int fcntl(int fd, int cmd, long arg = 0);

struct file *file(int fd);

}  // namespace ksim::fs
