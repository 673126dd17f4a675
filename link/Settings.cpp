// The stored connection settings.
#include "link/Link.h"

// The settings file and the host history are kept by the interface panel's
// settings; until they are stored, every start uses the panel's defaults.
void GetConnectionSettingsFromFile() {}
void SaveCommunicationSettings() {}
