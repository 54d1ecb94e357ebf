// Total-variation denoising of the host's working image, in place.
#pragma once

class PluginContext;
struct Image;

// Reference copy of the input of the current run, and the curvature scratch
// image; created by the first run, reused by later ones, freed by
// ReleaseImages.
extern Image* g_pNoisyImage;
extern Image* g_pCurvatureImage;

// Runs the iterations on the context's working image. Returns 1 when the
// host asked to stop through UpdateProgress, else 0.
int RunDenoise(PluginContext* ctx);

// Deletes both cached images.
void ReleaseImages();
