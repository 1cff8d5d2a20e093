// dht11_read [-i SECONDS]: reads the DHT11's record from /dev/dht11 and
// prints its humidity and temperature; with -i, again every SECONDS (at
// least 2, the sensor's limit) until a signal ends it.
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include <fcntl.h>
#include <unistd.h>

#include "ending_signals.h"

namespace {

constexpr const char *node = "/dev/dht11";
constexpr int record_size = 5;
// The sensor measures at most once every two seconds.
constexpr long min_interval_s = 2;

enum Status { ok = 0, failed = 1, usage = 2, no_node = 3 };

using Record = unsigned char[record_size];

// Byte 4 is the low 8 bits of the sum of the other four.
bool checksum_matches(const Record &record)
{
	const unsigned sum = record[0] + record[1] + record[2] + record[3];
	return (sum & 0xff) == record[4];
}

// One reading; false, with the reason on standard error, when the read
// failed or the record is spoiled.
bool read_once(int fd)
{
	Record record = {};
	// The driver answers a good read with 0: the record is in the buffer.
	if (read(fd, record, record_size) < 0) {
		fprintf(stderr, "read %s: %s\n", node, strerror(errno));
		return false;
	}
	if (!checksum_matches(record)) {
		fprintf(stderr, "%s: bad checksum: %02x %02x %02x %02x %02x\n", node,
			record[0], record[1], record[2], record[3], record[4]);
		return false;
	}
	printf("humidity = %d.%d %%, temperature = %d.%d C\n", record[0], record[1],
	       record[2], record[3]);
	return true;
}

// The seconds of -i, or -1 when the text is not a whole number of at
// least min_interval_s.
long parse_interval(const char *text)
{
	char *end = nullptr;
	errno = 0;
	const long seconds = strtol(text, &end, 10);
	if (errno || end == text || *end || seconds < min_interval_s || seconds > INT_MAX)
		return -1;
	return seconds;
}

int usage_error(const char *problem)
{
	fprintf(stderr, "dht11_read: %s\nusage: dht11_read [-i SECONDS]\n", problem);
	return usage;
}

} // namespace

int main(int argc, char *argv[])
{
	long interval = 0;
	if (argc == 3 && strcmp(argv[1], "-i") == 0) {
		interval = parse_interval(argv[2]);
		if (interval < 0)
			return usage_error("the interval must be a whole number of at least 2 seconds");
	} else if (argc != 1) {
		return usage_error(argc == 2 && strcmp(argv[1], "-i") == 0 ? "-i needs SECONDS"
									   : "unexpected arguments");
	}

	const int fd = open(node, O_RDONLY);
	if (fd < 0) {
		fprintf(stderr, "open %s: %s\n", node, strerror(errno));
		return no_node;
	}
	if (!interval)
		return read_once(fd) ? ok : failed;
	// A signal ends the program only between readings, each written out
	// before it, also into a file or a pipe.
	hold_ending_signals();
	for (;;) {
		read_once(fd);
		await_seconds(static_cast<unsigned>(interval));
	}
}
