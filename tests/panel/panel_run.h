// A panel program run to its end, as the black-box tests see it.
#ifndef PANEL_RUN_H
#define PANEL_RUN_H

#include <QByteArray>
#include <QProcess>

struct Run {
	// The exit status, or -1 when a signal ended the process.
	int status;
	QByteArray out;
	QByteArray err;
};

// Waits up to `ms` for the started panel to end, kills it when it does not,
// and collects what it left.
inline Run collect_run(QProcess &panel, int ms)
{
	if (!panel.waitForFinished(ms)) {
		panel.kill();
		panel.waitForFinished(ms);
	}
	return {panel.exitStatus() == QProcess::NormalExit ? panel.exitCode() : -1,
		panel.readAllStandardOutput(), panel.readAllStandardError()};
}

#endif
