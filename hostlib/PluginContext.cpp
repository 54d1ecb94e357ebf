// Defaults of the context's operations: a host overrides what it offers.
#include "host/PluginContext.h"

int PluginContext::HostOp0() { return 0; }
int PluginContext::HostOp1() { return 0; }
int PluginContext::HostOp2() { return 0; }
int PluginContext::HostOp3() { return 0; }
int PluginContext::HostOp4() { return 0; }
int PluginContext::HostOp5() { return 0; }
int PluginContext::HostOp6() { return 0; }
int PluginContext::HostOp7() { return 0; }
int PluginContext::HostOp8() { return 0; }
int PluginContext::HostOp9() { return 0; }
int PluginContext::HostOp10() { return 0; }
void PluginContext::SetParams(PluginParam*) {}
PluginParam* PluginContext::GetParams() { return nullptr; }
int PluginContext::HostOp13() { return 0; }
int PluginContext::HostOp14() { return 0; }
int PluginContext::HostOp15() { return 0; }
int PluginContext::HostOp16() { return 0; }
int PluginContext::HostOp17() { return 0; }
int PluginContext::HostOp18() { return 0; }
int PluginContext::HostOp19() { return 0; }
int PluginContext::HostOp20() { return 0; }
int PluginContext::HostOp21() { return 0; }
int PluginContext::HostOp22() { return 0; }
int PluginContext::HostOp23() { return 0; }
int PluginContext::HostOp24() { return 0; }
int PluginContext::HostOp25() { return 0; }
int PluginContext::HostOp26() { return 0; }
int PluginContext::HostOp27() { return 0; }
int PluginContext::HostOp28() { return 0; }
int PluginContext::HostOp29() { return 0; }
int PluginContext::HostOp30() { return 0; }
Image* PluginContext::GetImage(int, int, int, int) { return nullptr; }
int PluginContext::UpdateView(int, int) { return 0; }
int PluginContext::HostOp33() { return 0; }
int PluginContext::HostOp34() { return 0; }
int PluginContext::HostOp35() { return 0; }
int PluginContext::HostOp36() { return 0; }
int PluginContext::HostOp37() { return 0; }
int PluginContext::HostOp38(int, int, int) { return 0; }
int PluginContext::HostOp39() { return 0; }
int PluginContext::HostOp40() { return 0; }
int PluginContext::HostOp41() { return 0; }
int PluginContext::HostOp42() { return 0; }
int PluginContext::HostOp43() { return 0; }
int PluginContext::HostOp44(int, int, int, int, int, int, int, int, int) { return 0; }
unsigned char PluginContext::IsInteractive() { return 0; }
