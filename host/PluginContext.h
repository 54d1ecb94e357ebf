// The host's context object, passed to every entry of the plug-in. The
// plug-in calls its operations by their position in the operation table
// (counted from 0); the positions of the named operations are fixed, the
// others are the host's own and the plug-in never calls them.
//
// Each comment below says what a host's operation does; this class's own
// definitions do nothing and answer 0 or null, for a host to override what
// it offers. No operation throws; arguments not named are ignored.
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
  // 11: the host takes `params` over and frees it when it is replaced or
  // the context ends; the set already stored, given again, is kept; null
  // frees the stored set.
  virtual void SetParams(PluginParam* params);
  // 12: the stored set, still owned by the host; null when none is stored.
  virtual PluginParam* GetParams();
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
  // 31: the image the plug-in is to work on, whatever the arguments (the
  // plug-in passes 0, 0, 0, 1); still owned by the host. Null when the host
  // has given none: the image calls made on it then throw AlertableError.
  virtual Image* GetImage(int a, int b, int c, int d);
  // 32: a redraw request: the host may show or save the working image as
  // it stands (the program writes --preview). Answers 0; arguments ignored.
  virtual int UpdateView(int a, int b);
  virtual int HostOp33();
  virtual int HostOp34();
  virtual int HostOp35();
  virtual int HostOp36();
  virtual int HostOp37();
  // 38 and 44: the plug-in's announcement of itself at set-up (the
  // host-operations entry), HostOp38(0, 0, 0) then HostOp44 with 8 as its
  // sixth argument and 0 for the rest. The answers are ignored. No host
  // here has anything to set up for them: the defaults and the program's
  // own both answer 0 and keep nothing.
  virtual int HostOp38(int a, int b, int c);
  virtual int HostOp39();
  virtual int HostOp40();
  virtual int HostOp41();
  virtual int HostOp42();
  virtual int HostOp43();
  // 44: the second half of the announcement (see 38).
  virtual int HostOp44(int a, int b, int c, int d, int e, int f, int g, int h, int i);
  // 45: nonzero when the plug-in may show its dialog (the user asked for
  // it and there is a presentation to show it); 0 runs with the set as is.
  virtual unsigned char IsInteractive();

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
