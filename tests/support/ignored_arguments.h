// Test support: arguments that a program taking none must ignore, as the
// parameters of a test: testing::ValuesIn(ignored_arguments("/dev/NODE")),
// with ignored_arguments_name naming each case.
#ifndef SENSORKIT_TESTS_IGNORED_ARGUMENTS_H
#define SENSORKIT_TESTS_IGNORED_ARGUMENTS_H

#include <gtest/gtest.h>

#include <string>
#include <vector>

struct IgnoredArguments {
	const char *name;
	std::vector<std::string> args;
};

// Its own node's path and an option, an empty argument, a huge one.
inline std::vector<IgnoredArguments> ignored_arguments(const std::string &node_path)
{
	return {{"extra", {node_path, "-h"}},
		{"empty", {""}},
		{"huge", {std::string(100000, 'x')}}};
}

inline std::string ignored_arguments_name(const testing::TestParamInfo<IgnoredArguments> &info)
{
	return info.param.name;
}

#endif
