#pragma once
// The application object: it names the program and its version, then opens the frame.

#include <QString>

class linara {
public:
    // Creates the runtime's standard objects; nothing of the program's own.
    void create() { }
    // Sets gs_appname and gs_version and opens w_frame; the command line is not read.
    void open(const QString& commandline);
    void destroy() { }
};
