// The host's context object, passed to every entry of the plug-in. The
// plug-in calls its operations by their position in the operation table
// (counted from 0); the positions of the named operations are fixed, the
// others are the host's own and the plug-in never calls them.
#pragma once

#include "host/HostApi.h"

class PluginParam;
struct Image;

class CALVANE_HOST_API PluginContext {
 public:
  virtual int HostOp0();
  virtual int HostOp1();
  virtual int HostOp2();
  virtual int HostOp3();
  virtual int HostOp4();
  virtual int HostOp5();
  virtual int HostOp6();
  virtual int HostOp7();
  virtual int HostOp8();
  virtual int HostOp9();
  virtual int HostOp10();
  virtual void SetParams(PluginParam* params);  // 11: the host takes it over
  virtual PluginParam* GetParams();             // 12: null when none is stored
  virtual int HostOp13();
  virtual int HostOp14();
  virtual int HostOp15();
  virtual int HostOp16();
  virtual int HostOp17();
  virtual int HostOp18();
  virtual int HostOp19();
  virtual int HostOp20();
  virtual int HostOp21();
  virtual int HostOp22();
  virtual int HostOp23();
  virtual int HostOp24();
  virtual int HostOp25();
  virtual int HostOp26();
  virtual int HostOp27();
  virtual int HostOp28();
  virtual int HostOp29();
  virtual int HostOp30();
  virtual Image* GetImage(int a, int b, int c, int d);  // 31: the working image
  virtual int UpdateView(int a, int b);                 // 32: a redraw request
  virtual int HostOp33();
  virtual int HostOp34();
  virtual int HostOp35();
  virtual int HostOp36();
  virtual int HostOp37();
  virtual int HostOp38(int a, int b, int c);  // 38
  virtual int HostOp39();
  virtual int HostOp40();
  virtual int HostOp41();
  virtual int HostOp42();
  virtual int HostOp43();
  virtual int HostOp44(int a, int b, int c, int d, int e, int f, int g, int h, int i);  // 44
  virtual unsigned char IsInteractive();  // 45: nonzero when a dialog may be shown

 protected:
  // Not virtual: a virtual destructor would take table positions of its own.
  ~PluginContext() = default;
};

// Positions in the operation table, as the plug-in calls them.
namespace PluginContextSlot {
constexpr int SetParams = 11;
constexpr int GetParams = 12;
constexpr int GetImage = 31;
constexpr int UpdateView = 32;
constexpr int HostOp38 = 38;
constexpr int HostOp44 = 44;
constexpr int IsInteractive = 45;
}  // namespace PluginContextSlot
