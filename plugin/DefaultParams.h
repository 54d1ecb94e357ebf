// The routine that builds the plug-in's parameter set; the entries, their
// order, defaults and limits are the parameter list's (params/).
#pragma once

class PluginParam;

// A new set holding "Noise Type", "Noise Variance" and "Iterations" with
// their defaults; the caller hands it to the host, which takes it over.
PluginParam* CreateDefaultParams();
