#include "panel_options.h"

#include <QCommandLineParser>

#include <cstdio>
#include <cstdlib>

namespace {

// The speeds the serial line unit sets; it would take any other as 9600.
constexpr int supported_bauds[] = {2400, 4800, 9600, 115200};

bool supported_baud(int baud)
{
	for (int supported : supported_bauds)
		if (baud == supported)
			return true;
	return false;
}

} // namespace

CommandLine read_command_line(const QStringList &arguments)
{
	CommandLine line;
	QCommandLineParser parser;
	parser.setApplicationDescription(
		"Shows the {module,value} frames arriving on a serial line and drives the servo.");
	const QCommandLineOption help_option({"h", "help"}, "Show this help.");
	const QCommandLineOption port_option(
		"port", "Serial device to listen on (default " + line.options.port + ").", "PATH",
		line.options.port);
	const QCommandLineOption baud_option(
		"baud", "Line speed: 2400, 4800, 9600 or 115200 (default 9600).", "N",
		QString::number(line.options.baud));
	const QCommandLineOption servo_option(
		"servo", "Servo node the slider writes to (default " + line.options.servo + ").",
		"PATH", line.options.servo);
	parser.addOptions({help_option, port_option, baud_option, servo_option});

	if (!parser.parse(arguments)) {
		line.error = parser.errorText();
		return line;
	}
	if (parser.isSet(help_option)) {
		line.help = parser.helpText();
		return line;
	}
	if (!parser.positionalArguments().isEmpty()) {
		line.error = "Unexpected argument: " + parser.positionalArguments().first();
		return line;
	}
	bool number = false;
	const int baud = parser.value(baud_option).toInt(&number);
	if (!number || !supported_baud(baud)) {
		line.error = "Unsupported baud rate: " + parser.value(baud_option) +
			     " (2400, 4800, 9600 or 115200)";
		return line;
	}
	line.options.port = parser.value(port_option);
	line.options.baud = baud;
	line.options.servo = parser.value(servo_option);
	return line;
}

PanelOptions options_or_exit(const QStringList &arguments)
{
	const CommandLine line = read_command_line(arguments);
	if (!line.help.isEmpty()) {
		std::fputs(qPrintable(line.help), stdout);
		std::exit(EXIT_SUCCESS);
	}
	if (!line.error.isEmpty()) {
		std::fprintf(stderr, "sensor_panel: %s\nTry 'sensor_panel --help'.\n",
			     qPrintable(line.error));
		std::exit(EXIT_FAILURE);
	}
	return line.options;
}
