// The session's shared state, with its values before start-up.
#include "core/Session.h"

#include "core/Protocol.h"

int mainpanel, parapanel, ttpanel, datapanel, tapanel, interfacepanel, grouppanel, recpanel,
    calibpanel, teachpanel, colbigpanel, grpbigpanel, p3sidesview;

namespace session {
uint16_t poll = 0;
}
uint16_t target = RAM;
uint16_t order = 1;
namespace telegram {
uint16_t sync = proto::kRequestSync;
}
uint16_t comecho = 0;
uint16_t anzVec = proto::kRows;
uint16_t anzOut = 5;
uint16_t anzpara = proto::kParaSetWords;
uint16_t anzframe = proto::kWords;

QString proj_dir;
QString cfg_dir, data_dir;
QString ipComboBoxFileName, conSettingsFileName, colorArrayStartupFileName, recFileName,
    paraFileName;

uint16_t xramp[4096], yramp[4096];
