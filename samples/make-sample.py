#!/usr/bin/env python3
"""Makes the sample pair that denoise-sample.sh uses, from scikit-image's copy
of NASA's public-domain portrait of astronaut Eileen Collins: a crop of it
(astronaut-clean.png) and the same crop with Gaussian noise of standard
deviation 20 (in 0..255 units) from a fixed seed (astronaut-noisy.png).

Run with Debian's python3 (packages python3-skimage, python3-numpy); the
committed files are its output, so it need not be run again."""
import os

import numpy as np
from skimage import data, io

here = os.path.dirname(os.path.abspath(__file__))
clean = data.astronaut()[24:216, 152:344]
rng = np.random.default_rng(20)
noisy = np.clip(np.rint(clean + rng.normal(0.0, 20.0, clean.shape)), 0, 255).astype(np.uint8)
io.imsave(os.path.join(here, "astronaut-clean.png"), clean, check_contrast=False)
io.imsave(os.path.join(here, "astronaut-noisy.png"), noisy, check_contrast=False)
