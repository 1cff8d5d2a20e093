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

	bool wants_panel() const { return help.isEmpty() && error.isEmpty(); }
};

// arguments: the program name first, Qt's own options already taken out.
CommandLine read_command_line(const QStringList &arguments);

// The command line as main() gets it, read before any GUI application is
// made (that needs a display): Qt's own GUI options are taken out as the
// application would take them.
CommandLine read_command_line(int argc, char *argv[]);

// arguments without the options a GUI application takes for itself.
QStringList without_gui_options(const QStringList &arguments);

// Prints the help (on standard output) or the error (on standard error) of a
// line that asks for no panel; returns the status to end the program with.
int print_help_or_error(const CommandLine &line);
