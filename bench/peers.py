"""calvane against scikit-image's and OpenCV's total-variation denoisers.

Run through bench/peers, which picks a Python that has the packages.

Every method gets the same 8-bit noisy image (clean + Gaussian noise, fixed
seed, rounded and clipped to 0..255) and is judged on its 8-bit result, as a
person saving the output would get it. The peers are run over a grid of
their weight and the best PSNR against the clean image is reported, which a
user without the clean image cannot do. calvane runs with `--variance auto`
(no knowledge of the noise) and with the true sigma, each over a list of
iteration counts; it is reported at the fewest iterations within 0.05 dB of
its best (converged quality).

Times: for the peers, the median of three runs of the computation alone, at
the best weight, in this process (numpy arrays in, arrays out: no start-up,
no file input or output). For calvane, the median of three runs of the
whole program: start-up, reading the PNG, denoising and writing the PNG.
"""

import argparse
import os
import statistics
import subprocess
import sys
import tempfile
import time

import cv2
import numpy as np
from skimage import data, io
from skimage.restoration import denoise_tv_bregman, denoise_tv_chambolle

SIGMAS = (10, 20, 30)
SEED = 20240607
CHAMBOLLE_WEIGHTS = (0.01, 0.015, 0.02, 0.025, 0.03, 0.04, 0.05, 0.06, 0.07, 0.08, 0.09, 0.10, 0.12, 0.14, 0.17, 0.20)
BREGMAN_WEIGHTS = (2, 3, 4, 5, 6, 7, 8, 10, 12, 15, 20, 30, 40, 60)
TVL1_LAMBDAS = (0.5, 0.75, 1.0, 1.5, 2.0, 3.0, 4.0)
ITERATIONS = (10, 20, 30, 40, 50, 70, 100, 150, 200, 300, 500, 1000)
CONVERGED_DB = 0.05


def psnr(clean, result):
    error = np.mean((result.astype(np.float64) - clean.astype(np.float64)) ** 2)
    return float("inf") if error == 0 else 10 * np.log10(255.0**2 / error)


def to_8bit(values01):
    return np.clip(np.round(values01 * 255.0), 0, 255).astype(np.uint8)


def median_time(run, repeats=3):
    times = []
    for _ in range(repeats):
        start = time.perf_counter()
        run()
        times.append(time.perf_counter() - start)
    return statistics.median(times)


def chambolle(noisy, weight):
    axis = -1 if noisy.ndim == 3 else None
    return to_8bit(denoise_tv_chambolle(noisy / 255.0, weight=weight, channel_axis=axis))


def bregman(noisy, weight):
    axis = -1 if noisy.ndim == 3 else None
    return to_8bit(denoise_tv_bregman(noisy / 255.0, weight=weight, channel_axis=axis))


def tvl1(noisy, lam):
    # OpenCV's TV-L1 takes one 8-bit channel: colour goes channel by channel.
    planes = [noisy] if noisy.ndim == 2 else [noisy[..., c] for c in range(noisy.shape[2])]
    results = []
    for plane in planes:
        out = np.empty_like(plane)
        cv2.denoise_TVL1([np.ascontiguousarray(plane)], out, lam)
        results.append(out)
    return results[0] if noisy.ndim == 2 else np.stack(results, axis=-1)


def best_over(grid, method, noisy, clean):
    scored = [(psnr(clean, method(noisy, value)), value) for value in grid]
    best_psnr, best_value = max(scored)
    edge = " (grid edge)" if best_value in (grid[0], grid[-1]) else ""
    seconds = median_time(lambda: method(noisy, best_value))
    return best_psnr, seconds, f"{best_value:g}{edge}"


def run_calvane(calvane, variance, iterations, source, target):
    command = [calvane, "-q", "--variance", variance, "--iterations", str(iterations), source, target]
    start = time.perf_counter()
    subprocess.run(command, check=True, stdout=subprocess.DEVNULL)
    return time.perf_counter() - start


def calvane_converged(calvane, variance, noisy_path, out_path, clean):
    scored = []
    for iterations in ITERATIONS:
        run_calvane(calvane, variance, iterations, noisy_path, out_path)
        scored.append((iterations, psnr(clean, io.imread(out_path))))
    best = max(value for _, value in scored)
    iterations, value = next((n, v) for n, v in scored if v >= best - CONVERGED_DB)
    seconds = statistics.median(run_calvane(calvane, variance, iterations, noisy_path, out_path) for _ in range(3))
    return value, seconds, f"{iterations} iterations"


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--calvane", default="build/bin/calvane")
    parser.add_argument("--quick", action="store_true", help="sigma 20 only")
    options = parser.parse_args()

    images = {"camera (grey)": data.camera(), "astronaut (RGB)": data.astronaut()}
    sigmas = (20,) if options.quick else SIGMAS
    start_up = statistics.median(
        median_time(lambda: subprocess.run([options.calvane, "--version"], check=True, stdout=subprocess.DEVNULL))
        for _ in range(3))

    rows = []
    with tempfile.TemporaryDirectory(prefix="calvane-peers-") as work:
        for name, clean in images.items():
            for sigma in sigmas:
                rng = np.random.default_rng(SEED + sigma)
                noisy = np.clip(np.round(clean + rng.normal(0.0, sigma, clean.shape)), 0, 255).astype(np.uint8)
                noisy_path = os.path.join(work, "noisy.png")
                out_path = os.path.join(work, "out.png")
                io.imsave(noisy_path, noisy, check_contrast=False)
                case = f"{name}, σ={sigma} ({psnr(clean, noisy):.2f} dB)"
                results = [
                    ("calvane `--variance auto`",) + calvane_converged(options.calvane, "auto", noisy_path, out_path,
                                                                        clean),
                    (f"calvane `--variance {sigma}`",) + calvane_converged(options.calvane, str(sigma), noisy_path,
                                                                            out_path, clean),
                    ("skimage `denoise_tv_chambolle`",) + best_over(CHAMBOLLE_WEIGHTS, chambolle, noisy, clean),
                    ("skimage `denoise_tv_bregman`",) + best_over(BREGMAN_WEIGHTS, bregman, noisy, clean),
                    ("OpenCV `denoise_TVL1`",) + best_over(TVL1_LAMBDAS, tvl1, noisy, clean),
                ]
                for method, value, seconds, setting in results:
                    rows.append((case, method, value, seconds, setting))
                    print(f"{case}: {method} {value:.2f} dB in {seconds * 1000:.0f} ms at {setting}",
                          file=sys.stderr, flush=True)

    print("| image, noise (noisy PSNR) | method | best PSNR | time | at |")
    print("|---|---|---|---|---|")
    for case, method, value, seconds, setting in rows:
        print(f"| {case} | {method} | {value:.2f} dB | {seconds * 1000:.0f} ms | {setting} |")
    print()
    print(f"calvane's times are whole runs of the program, of which {start_up * 1000:.0f} ms is start-up "
          "(`calvane --version`); the others' are the computation alone.")


if __name__ == "__main__":
    main()
