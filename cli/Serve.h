// tolvane-cli serve beside another command: frames --share starts an owner
// for its sensor and ends it with itself.
#pragma once

#include "cli/Cli.h"

class QProcess;

// frames --share: the tool owns the sensor's line for as long as it runs, so
// that others can use the sensor beside it: a serve started for the link
// and ended with the tool. One already running is used as it is.
class LineOwnerChild {
  public:
    LineOwnerChild();
    ~LineOwnerChild();
    // An exit code when no owner could be started, else kExitOk.
    int Start(const LinkTarget &link, const QString &group = QString());

  private:
    QProcess *m_process = nullptr;
};
