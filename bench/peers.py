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

Tables (--table, default all):
  gaussian  the table above, 8-bit, Gaussian noise of sigma 10, 20 and 30;
  photon    photon-limited 16-bit frames (Poisson noise, 20 and 100 photons
            at the brightest), calvane --noise poisson and its default
            against the peers at their best weight, all judged on the
            16-bit result;
  storage   one noisy picture stored five ways (8-bit, 16-bit with 12 bits
            used, float x1, x100 and x0.001), calvane with no options;
  default   calvane with no options against --variance auto --iterations
            300, and (with --before PATH) against an earlier build's.
  large     a 12-megapixel RGB photo (astronaut enlarged to 4000x3000,
            sigma 15): calvane with no options from start to exit, PNG in
            and PNG out, and PNG in and binary PPM out (whose writing costs
            next to nothing), against the peers' computation alone at their
            best weight. The weight is searched on the centred 1024x1024
            part (a whole-picture run takes half a minute), then run once on
            the whole picture; not part of `all`.
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


def run_calvane_args(calvane, args, source, target):
    start = time.perf_counter()
    subprocess.run([calvane, "-q"] + list(args) + [source, target], check=True, stdout=subprocess.DEVNULL)
    return time.perf_counter() - start


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


def gaussian_table(options, start_up, work):
    images = {"camera (grey)": data.camera(), "astronaut (RGB)": data.astronaut()}
    sigmas = (20,) if options.quick else SIGMAS
    rows = []
    for name, clean in images.items():
        for sigma in sigmas:
            rng = np.random.default_rng(SEED + sigma)
            noisy = np.clip(np.round(clean + rng.normal(0.0, sigma, clean.shape)), 0, 255).astype(np.uint8)
            noisy_path = os.path.join(work, "noisy.png")
            out_path = os.path.join(work, "out.png")
            io.imsave(noisy_path, noisy, check_contrast=False)
            case = f"{name}, σ={sigma} ({psnr(clean, noisy):.2f} dB)"
            default_seconds = statistics.median(run_calvane_args(options.calvane, [], noisy_path, out_path)
                                                for _ in range(3))
            results = [
                ("calvane (no options)", psnr(clean, io.imread(out_path)), default_seconds, "automatic"),
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
    print_rows("| image, noise (noisy PSNR) | method | best PSNR | time | at |", rows)
    print(f"calvane's times are whole runs of the program, of which {start_up * 1000:.0f} ms is start-up "
          "(`calvane --version`); the others' are the computation alone.")


def print_rows(header, rows):
    print(header)
    print("|---|---|---|---|---|")
    for case, method, value, seconds, setting in rows:
        print(f"| {case} | {method} | {value:.2f} dB | {seconds * 1000:.0f} ms | {setting} |")
    print()


# Photon-limited pictures: the clean image scaled so that its brightest
# sample expects `peak` photons, each sample drawn from Poisson, stored as
# 16-bit counts. PSNR is against the expected counts, with the peak as the
# signal, on results rounded to 16-bit integers as the files hold them.
PHOTON_PEAKS = (20, 100)
PHOTON_CHAMBOLLE = (0.005, 0.01, 0.015, 0.02, 0.03, 0.04, 0.05, 0.06, 0.08, 0.10, 0.12, 0.15, 0.18, 0.22, 0.27, 0.33, 0.4, 0.5)
PHOTON_BREGMAN = (0.5, 0.75, 1, 1.5, 2, 3, 4, 5, 6, 8, 10, 15, 20, 30, 40, 60)


def photon_psnr(expected, result, peak):
    error = np.mean((result.astype(np.float64) - expected) ** 2)
    return 10 * np.log10(peak**2 / error)


def photon_table(options, work):
    import tifffile
    images = {"cell (grey)": data.cell(), "camera (grey)": data.camera(),
              "hubble deep field (RGB, 512x512)": data.hubble_deep_field()[:512, :512]}
    rows = []
    for name, picture in images.items():
        for peak in PHOTON_PEAKS:
            expected = picture.astype(np.float64) / picture.max() * peak
            rng = np.random.default_rng(SEED + peak)
            noisy = rng.poisson(expected).astype(np.uint16)
            noisy_path = os.path.join(work, "noisy.tif")
            out_path = os.path.join(work, "out.tif")
            tifffile.imwrite(noisy_path, noisy)
            case = f"{name}, {peak} photons ({photon_psnr(expected, noisy, peak):.2f} dB)"

            def calvane(args):
                seconds = statistics.median(run_calvane_args(options.calvane, args, noisy_path, out_path)
                                            for _ in range(3))
                return photon_psnr(expected, tifffile.imread(out_path), peak), seconds

            def peer(method, grid):
                def run(values, weight):
                    return np.round(np.clip(method(values / peak, weight) * peak, 0, 65535))
                scored = [(photon_psnr(expected, run(noisy.astype(np.float64), w), peak), w) for w in grid]
                best, weight = max(scored)
                seconds = median_time(lambda: run(noisy.astype(np.float64), weight))
                edge = " (grid edge)" if weight in (grid[0], grid[-1]) else ""
                return best, seconds, f"{weight:g}{edge}"

            axis = -1 if noisy.ndim == 3 else None
            results = [
                ("calvane `--noise poisson`",) + calvane(["--noise", "poisson"]) + ("automatic",),
                ("calvane (no options)",) + calvane([]) + ("automatic",),
                ("calvane `--noise additive`",) + calvane(["--noise", "additive"]) + ("automatic",),
                ("skimage `denoise_tv_chambolle`",) + peer(
                    lambda v, w: denoise_tv_chambolle(v, weight=w, channel_axis=axis), PHOTON_CHAMBOLLE),
                ("skimage `denoise_tv_bregman`",) + peer(
                    lambda v, w: denoise_tv_bregman(v, weight=w, channel_axis=axis), PHOTON_BREGMAN),
            ]
            for method, value, seconds, setting in results:
                rows.append((case, method, value, seconds, setting))
                print(f"{case}: {method} {value:.2f} dB in {seconds * 1000:.0f} ms at {setting}",
                      file=sys.stderr, flush=True)
    print_rows("| image, photons at peak (noisy PSNR) | method | PSNR | time | at |", rows)


def storage_table(options, work):
    import tifffile
    clean = data.camera()
    rng = np.random.default_rng(SEED + 20)
    noisy = np.clip(np.round(clean + rng.normal(0.0, 20, clean.shape)), 0, 255).astype(np.uint8)
    storages = [
        ("8-bit PNG", "in.png", lambda: io.imsave(os.path.join(work, "in.png"), noisy, check_contrast=False),
         "out.png", 1.0),
        ("16-bit TIFF, 12 bits used (x16)", "in.tif",
         lambda: tifffile.imwrite(os.path.join(work, "in.tif"), noisy.astype(np.uint16) * 16), "out.tif", 16.0),
        ("float EXR, x1 (0..1)", "in1.exr", None, "out1.exr", 1 / 255),
        ("float EXR, x100", "in100.exr", None, "out100.exr", 100 / 255),
        ("float EXR, x0.001", "in0001.exr", None, "out0001.exr", 0.001 / 255),
    ]
    rows = []
    for name, source, write, target, factor in storages:
        source_path = os.path.join(work, source)
        if write is None:
            write_float(source_path, noisy.astype(np.float32) * np.float32(factor))
        else:
            write()
        seconds = statistics.median(run_calvane_args(options.calvane, [], source_path, os.path.join(work, target))
                                    for _ in range(3))
        result = read_any(os.path.join(work, target)) / factor
        rows.append(("camera (grey), σ=20", name, psnr(clean, result), seconds, "no options"))
        print(f"{name}: {rows[-1][2]:.2f} dB", file=sys.stderr, flush=True)
    print_rows("| image, noise | stored as | PSNR | time | |", rows)


def write_float(path, values):
    # OpenImageIO's tool writes EXR; numpy gives it a raw float TIFF first.
    import tifffile
    raw = path + ".tif"
    tifffile.imwrite(raw, values)
    subprocess.run(["oiiotool", raw, "-d", "float", "-o", path], check=True)
    os.remove(raw)


def read_any(path):
    if path.endswith(".exr"):
        raw = path + ".tif"
        subprocess.run(["oiiotool", path, "-d", "float", "-o", raw], check=True)
        import tifffile
        values = tifffile.imread(raw).astype(np.float64)
        os.remove(raw)
        return values
    if path.endswith(".tif"):
        import tifffile
        return tifffile.imread(path).astype(np.float64)
    return io.imread(path).astype(np.float64)


def default_table(options, work):
    clean = data.astronaut()
    rng = np.random.default_rng(SEED + 20)
    noisy = np.clip(np.round(clean + rng.normal(0.0, 20, clean.shape)), 0, 255).astype(np.uint8)
    noisy_path = os.path.join(work, "noisy.png")
    out_path = os.path.join(work, "out.png")
    io.imsave(noisy_path, noisy, check_contrast=False)
    runs = [("calvane (no options)", options.calvane, []),
            ("calvane `--variance auto --iterations 300`", options.calvane,
             ["--variance", "auto", "--iterations", "300"])]
    if options.before:
        runs += [("before: calvane (no options)", options.before, []),
                 ("before: calvane `--variance auto --iterations 300`", options.before,
                  ["--variance", "auto", "--iterations", "300"])]
    rows = []
    for method, program, args in runs:
        seconds = statistics.median(run_calvane_args(program, args, noisy_path, out_path) for _ in range(3))
        rows.append((f"astronaut (RGB), σ=20 ({psnr(clean, noisy):.2f} dB)", method, psnr(clean, io.imread(out_path)),
                     seconds, ""))
        print(f"{method}: {rows[-1][2]:.2f} dB in {seconds * 1000:.0f} ms", file=sys.stderr, flush=True)
    print_rows("| image, noise | command | PSNR | time | |", rows)


def large_table(options, work):
    from skimage.transform import resize
    clean = to_8bit(resize(data.astronaut() / 255.0, (3000, 4000), order=3, anti_aliasing=False))
    rng = np.random.default_rng(SEED + 15)
    noisy = np.clip(np.round(clean + rng.normal(0.0, 15, clean.shape)), 0, 255).astype(np.uint8)
    noisy_path = os.path.join(work, "large.png")
    io.imsave(noisy_path, noisy, check_contrast=False)
    case = f"astronaut 4000x3000 (RGB, 12 MP), σ=15 ({psnr(clean, noisy):.2f} dB)"
    rows = []
    for method, out_name in (("calvane (no options), PNG in, PNG out", "out.png"),
                             ("calvane (no options), PNG in, PPM out", "out.ppm")):
        out_path = os.path.join(work, out_name)
        seconds = statistics.median(run_calvane_args(options.calvane, [], noisy_path, out_path) for _ in range(3))
        rows.append((case, method, psnr(clean, read_any(out_path)), seconds, "start to exit"))
        print(f"{method}: {rows[-1][2]:.2f} dB in {seconds:.2f} s", file=sys.stderr, flush=True)
    top, left = (3000 - 1024) // 2, (4000 - 1024) // 2
    part = (slice(top, top + 1024), slice(left, left + 1024))
    for name, method, grid in (("scikit-image denoise_tv_chambolle", chambolle, CHAMBOLLE_WEIGHTS),
                               ("scikit-image denoise_tv_bregman", bregman, BREGMAN_WEIGHTS)):
        _, weight = max((psnr(clean[part], method(noisy[part], value)), value) for value in grid)
        start = time.perf_counter()
        result = method(noisy, weight)
        seconds = time.perf_counter() - start
        rows.append((case, name, psnr(clean, result), seconds, f"weight {weight:g}, computation alone"))
        print(f"{name}: {rows[-1][2]:.2f} dB in {seconds:.1f} s", file=sys.stderr, flush=True)
    print_rows("| image, noise | method | PSNR | time | |", rows)


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--calvane", default="build/bin/calvane")
    parser.add_argument("--before", help="an earlier build's calvane, for the default table")
    parser.add_argument("--quick", action="store_true", help="sigma 20 only")
    parser.add_argument("--table", choices=("all", "gaussian", "photon", "storage", "default", "large"), default="all")
    options = parser.parse_args()

    start_up = statistics.median(
        median_time(lambda: subprocess.run([options.calvane, "--version"], check=True, stdout=subprocess.DEVNULL))
        for _ in range(3))
    with tempfile.TemporaryDirectory(prefix="calvane-peers-") as work:
        if options.table in ("all", "gaussian"):
            gaussian_table(options, start_up, work)
        if options.table in ("all", "photon"):
            photon_table(options, work)
        if options.table in ("all", "storage"):
            storage_table(options, work)
        if options.table in ("all", "default"):
            default_table(options, work)
        if options.table == "large":
            large_table(options, work)


if __name__ == "__main__":
    main()
