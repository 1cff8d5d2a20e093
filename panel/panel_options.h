// sensor_panel's command line: sensor_panel [--port PATH] [--baud N] [--servo PATH]
#pragma once

#include <QString>
#include <QStringList>

struct PanelOptions {
	QString port = "/dev/ttySAC1";
	int baud = 9600;
	QString servo = "/dev/sg90";
};

// What a command line asks for: options to start with, or help or an error
// to print instead.
struct CommandLine {
	PanelOptions options;
	QString help;
	QString error;
};

// arguments: the program name first, Qt's own options already taken out.
CommandLine read_command_line(const QStringList &arguments);

// The options of arguments; prints help or an error and ends the process
// when the command line asks for no panel.
PanelOptions options_or_exit(const QStringList &arguments);
