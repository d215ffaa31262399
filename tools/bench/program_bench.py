#!/usr/bin/env python3
"""Benchmark (not a test) of the two programs as a player meets them, each
measured in the same run against a bare window of the same graphics API
(BareWindowGL.cpp, BareWindowD3D9.cpp) under the same Wine, on the same
display:

  - peak resident memory (VmHWM of the Linux process that runs the .exe):
    sitting in the character chooser, and with the benchmark's dream loaded
    (Harbour: a larger dream than the sample installation's, made by the same
    generator) after the session of tools/run-program.sh has walked into it;
  - time from launch (the process's start) to the first frame (the first
    time the window shows anything but black, read back from the display);
  - the program's own "Generate floor textures from .fsh" block in
    "_profile.txt" (both floor sets of the session have 200 images);
  - the longest frame while the dream is downloaded, extracted and loaded
    (the program's "Frame while a dream downloads and loads" block; for a
    bare window, its longest frame after its first second).

Prints the figures, each program's also as a ratio to its bare window's; it
fails only when a run does not complete.

    program_bench.py BUILD_DIR     (BUILD_DIR: the x86_64 build; DISPLAY
                                    and WINEPREFIX set, Wine running)
"""

import ctypes
import ctypes.util
import os
import re
import shutil
import subprocess
import sys
import threading
import time

TOP = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
RUN_PROGRAM = os.path.join(TOP, 'tools', 'run-program.sh')
DREAM = 'Harbour'
FLOOR_BLOCK = 'Generate floor textures from .fsh'
DREAM_FRAME_BLOCK = 'Frame while a dream downloads and loads'
PROGRAM_TITLE = '^Quorvex - '
# How long each window is watched after its first frame: the chooser's
# figures are read then.
SETTLE_SECONDS = 4.0
# A run that has shown nothing by then has not completed.
START_TIMEOUT = 180.0


class BenchError(Exception):
    pass


def now():
    """Seconds since boot, the clock of /proc/PID/stat's start time."""
    return time.clock_gettime(time.CLOCK_BOOTTIME)


# ---------------------------------------------------------------- the display

class Display:
    """Reads window contents back from the X display through Xlib."""

    class XImage(ctypes.Structure):
        _fields_ = [('width', ctypes.c_int), ('height', ctypes.c_int), ('xoffset', ctypes.c_int),
                    ('format', ctypes.c_int), ('data', ctypes.c_void_p), ('byte_order', ctypes.c_int),
                    ('bitmap_unit', ctypes.c_int), ('bitmap_bit_order', ctypes.c_int),
                    ('bitmap_pad', ctypes.c_int), ('depth', ctypes.c_int), ('bytes_per_line', ctypes.c_int),
                    ('bits_per_pixel', ctypes.c_int)]

    class WindowAttributes(ctypes.Structure):
        _fields_ = [('x', ctypes.c_int), ('y', ctypes.c_int), ('width', ctypes.c_int),
                    ('height', ctypes.c_int), ('rest', ctypes.c_byte * 256)]

    def __init__(self):
        x11 = ctypes.CDLL(ctypes.util.find_library('X11'))
        # A window that goes away between the search and the read is an
        # error reply, which Xlib's default handler would end this script on.
        handler_type = ctypes.CFUNCTYPE(ctypes.c_int, ctypes.c_void_p, ctypes.c_void_p)
        self._ignore_errors = handler_type(lambda display, event: 0)
        x11.XSetErrorHandler(self._ignore_errors)
        x11.XOpenDisplay.restype = ctypes.c_void_p
        x11.XOpenDisplay.argtypes = [ctypes.c_char_p]
        x11.XGetWindowAttributes.argtypes = [ctypes.c_void_p, ctypes.c_ulong, ctypes.c_void_p]
        x11.XGetImage.restype = ctypes.POINTER(Display.XImage)
        x11.XGetImage.argtypes = [ctypes.c_void_p, ctypes.c_ulong, ctypes.c_int, ctypes.c_int, ctypes.c_uint,
                                  ctypes.c_uint, ctypes.c_ulong, ctypes.c_int]
        x11.XFree.argtypes = [ctypes.c_void_p]
        self.x11 = x11
        self.display = x11.XOpenDisplay(None)
        if not self.display:
            raise BenchError('cannot open the display %s' % os.environ.get('DISPLAY'))

    def shows_anything(self, window):
        """True when some pixel of the window is not black; None when the
        window cannot be read (gone)."""
        attributes = Display.WindowAttributes()
        if not self.x11.XGetWindowAttributes(self.display, window, ctypes.byref(attributes)):
            return None
        image = self.x11.XGetImage(self.display, window, 0, 0, attributes.width, attributes.height,
                                   0xFFFFFFFF, 2)  # ZPixmap
        if not image:
            return None
        try:
            data = ctypes.string_at(image.contents.data, image.contents.bytes_per_line * image.contents.height)
            depth_bytes = image.contents.bits_per_pixel // 8
        finally:
            self.x11.XFree(image.contents.data)
            self.x11.XFree(image)
        if depth_bytes != 4:
            return any(data)
        # Blue, green and red of every pixel; the fourth byte is padding.
        colour = data[0::4] + data[1::4] + data[2::4]
        return colour.count(0) != len(colour)


def find_window(title):
    out = subprocess.run(['xdotool', 'search', '--onlyvisible', '--name', title],
                         capture_output=True, text=True).stdout.split()
    return int(out[0]) if out else None


def close_window(window):
    """Alt+F4, as a player closes a window."""
    # Without a window manager only the plain focus request works.
    if subprocess.run(['xdotool', 'windowactivate', '--sync', str(window)], capture_output=True).returncode:
        subprocess.run(['xdotool', 'windowfocus', '--sync', str(window)], capture_output=True)
    subprocess.run(['xdotool', 'key', '--clearmodifiers', 'alt+F4'], capture_output=True)


# ---------------------------------------------------------------- processes

def find_process(exe_name):
    """The Linux process that runs the .exe: Wine's loader with the program's
    path as its command line."""
    for entry in os.listdir('/proc'):
        if not entry.isdigit():
            continue
        try:
            if 'wine' not in os.readlink('/proc/%s/exe' % entry):
                continue
            with open('/proc/%s/cmdline' % entry, 'rb') as f:
                first = f.read().split(b'\0')[0].decode('latin-1')
        except OSError:
            continue
        if re.split(r'[\\/]', first)[-1].lower() == exe_name.lower():
            return int(entry)
    return None


def start_time(pid):
    """When the process started, in seconds since boot."""
    with open('/proc/%d/stat' % pid) as f:
        fields = f.read().rsplit(')', 1)[1].split()
    return int(fields[19]) / os.sysconf('SC_CLK_TCK')


def peak_memory_mb(pid):
    try:
        with open('/proc/%d/status' % pid) as f:
            for line in f:
                if line.startswith('VmHWM:'):
                    return int(line.split()[1]) / 1024.0
    except OSError:
        pass
    return None


class Watch:
    """Watches one run of a program from outside: its process, its window
    and its first frame, and its peak memory at chosen moments."""

    def __init__(self, exe_name, title, display):
        self.exe_name = exe_name
        self.title = title
        self.display = display
        self.pid = None
        self.launched = None
        self.first_frame = None   # seconds after launch
        self.window = None
        self.memory = None        # last VmHWM read, MB
        self.memory_at = {}       # name -> MB at a marked moment

    def wait_for_process(self, running):
        deadline = now() + START_TIMEOUT
        while now() < deadline and running():
            self.pid = find_process(self.exe_name)
            if self.pid:
                self.launched = start_time(self.pid)
                return True
            time.sleep(0.02)
        return False

    def sample(self):
        value = peak_memory_mb(self.pid)
        if value is not None:
            self.memory = value
        return value

    def wait_for_first_frame(self, running):
        deadline = now() + START_TIMEOUT
        while now() < deadline and running():
            self.sample()
            if self.window is None:
                self.window = find_window(self.title)
            elif self.display.shows_anything(self.window):
                self.first_frame = now() - self.launched
                return True
            time.sleep(0.02)
        return False

    def hold(self, seconds, running):
        end = now() + seconds
        while now() < end and running():
            self.sample()
            time.sleep(0.1)

    def mark(self, name):
        self.memory_at[name] = self.memory


def alive(process):
    return lambda: process.poll() is None


# ---------------------------------------------------------------- the runs

def watch_first_screen(watch, process, exe):
    """Waits for the process and its first frame, lets it run a while, and
    marks its memory then as the chooser's."""
    if not watch.wait_for_process(alive(process)):
        raise BenchError('%s: the process did not start' % exe)
    if not watch.wait_for_first_frame(alive(process)):
        raise BenchError('%s: no frame was shown' % exe)
    watch.hold(SETTLE_SECONDS, alive(process))
    watch.mark('chooser')


def run_bare(exe, title, folder, display):
    """A bare window: first frame, peak memory after it has run a while, and
    its longest frame (its own report, written when it is closed)."""
    shutil.rmtree(folder, ignore_errors=True)
    os.makedirs(folder)
    with open(os.path.join(folder, 'wine-output.txt'), 'wb') as log:
        process = subprocess.Popen(['wine', exe], cwd=folder, stdout=log, stderr=subprocess.STDOUT)
    watch = Watch(os.path.basename(exe), title, display)
    try:
        watch_first_screen(watch, process, exe)
        close_window(watch.window)
        process.wait(timeout=60)
    except subprocess.TimeoutExpired:
        raise BenchError('%s: did not end after its window was closed' % exe)
    finally:
        if process.poll() is None:
            process.kill()
            process.wait()
    report = read_text(os.path.join(folder, 'bare_window.txt'))
    found = re.search(r'^longest frame ms ([0-9.]+)$', report, re.M)
    if process.returncode != 0 or not found:
        raise BenchError('%s: exit code %s, no frame report' % (exe, process.returncode))
    return {'chooser': watch.memory_at['chooser'], 'dream': watch.memory_at['chooser'],
            'first frame': watch.first_frame, 'longest frame': float(found.group(1))}


def run_program(exe, install, folder, display, session):
    """The program through tools/run-program.sh: in the chooser only, or the
    whole session into the benchmark's dream."""
    arguments = [RUN_PROGRAM, '--install', install]
    if session:
        arguments += ['--session', '--dream', DREAM, '--check']
    else:
        arguments += ['--close-after', str(int(SETTLE_SECONDS + 4))]
    arguments += [exe, folder]
    with open(folder + '.log', 'wb') as log:
        process = subprocess.Popen(arguments, stdout=log, stderr=subprocess.STDOUT)
    watch = Watch(os.path.basename(exe), PROGRAM_TITLE, display)
    received = os.path.join(folder, 'standin', 'session-1.bin')
    try:
        if not session:
            watch_first_screen(watch, process, exe)
        else:
            if not watch.wait_for_process(alive(process)):
                raise BenchError('%s: the process did not start' % exe)
            # The dream is loaded when the game server hears "saltmarrows";
            # the memory is read after it has been drawn a while.
            loaded = False
            while process.poll() is None:
                watch.sample()
                if not loaded and b'saltmarrows\n' in read_bytes(received):
                    loaded = True
                    watch.hold(2.0, alive(process))
                    watch.mark('dream')
                time.sleep(0.1)
        process.wait(timeout=300)
    except subprocess.TimeoutExpired:
        raise BenchError('%s: the run did not end' % exe)
    finally:
        if process.poll() is None:
            process.kill()
            process.wait()
    if process.returncode != 0:
        raise BenchError('%s: the run failed (exit code %d); see %s.log' % (exe, process.returncode, folder))
    figures = {}
    if not session:
        figures['chooser'] = watch.memory_at['chooser']
        figures['first frame'] = watch.first_frame
        return figures
    if 'dream' not in watch.memory_at:
        raise BenchError('%s: the dream was not loaded' % exe)
    figures['dream'] = watch.memory_at['dream']
    profile = read_text(os.path.join(folder, '_profile.txt'))
    floors = profile_block(profile, FLOOR_BLOCK)
    frames = profile_block(profile, DREAM_FRAME_BLOCK)
    if not floors or not frames:
        raise BenchError('%s: the profile lacks its blocks; see %s' % (exe, folder))
    figures['floors max'] = floors['Max time']
    figures['floors average'] = floors['Average time']
    figures['floors samples'] = int(floors['Samples taken'])
    figures['longest frame'] = frames['Max time']
    return figures


def profile_block(report, name):
    """The figures of one block of a "_profile.txt" report."""
    lines = report.splitlines()
    for i, line in enumerate(lines):
        if line.startswith(name + ' - '):
            figures = {}
            for detail in lines[i + 1:i + 7]:
                key, _, value = detail.strip().partition(': ')
                figures[key] = float(value.split()[0].rstrip('%'))
            return figures
    return None


def read_bytes(path):
    try:
        with open(path, 'rb') as f:
            return f.read()
    except OSError:
        return b''


def read_text(path):
    return read_bytes(path).decode('latin-1').replace('\r\n', '\n')


# ---------------------------------------------------------------- report

def print_table(results):
    rows = [
        ('peak memory in the chooser (MB)', 'chooser', '%.0f'),
        ('peak memory with %s loaded (MB)' % DREAM, 'dream', '%.0f'),
        ('launch to first frame (s)', 'first frame', '%.2f'),
        ('longest frame of the dream load (ms)', 'longest frame', '%.1f'),
    ]
    line = '  %-52s %16s %12s %8s  %s'
    for api, bare_name, bare, name, program in results:
        print((line % (api, bare_name, name, 'ratio', '')).rstrip())
        for label, key, form in rows:
            b, p = bare[key], program[key]
            ratio = '%.2fx' % (p / b) if b > 0 else '-'
            note = '(%+.2f s)' % (p - b) if key == 'first frame' else ''
            print((line % (label, form % b, form % p, ratio, note)).rstrip())
        note = '(longest of %d sets; average %.1f ms)' % (program['floors samples'], program['floors average'])
        print((line % ('"%s", 200 images (ms)' % FLOOR_BLOCK, '-', '%.1f' % program['floors max'], '', note)).rstrip())


def main():
    if len(sys.argv) != 2:
        sys.stderr.write(__doc__)
        return 2
    build = os.path.abspath(sys.argv[1])
    work = os.path.join(build, 'programbench')
    shutil.rmtree(work, ignore_errors=True)
    os.makedirs(work)
    # The sample installation with the benchmark's dream beside its own.
    install = os.path.join(work, 'install')
    shutil.copytree(os.path.join(build, 'sample'), install)
    shutil.copy(os.path.join(build, 'bench-data', 'dreams', DREAM + '.dream'), os.path.join(install, 'dreams'))

    display = Display()
    apis = [
        ('OpenGL', 'bare_window_gl.exe', 'Bare OpenGL window', 'quorvex-gl.exe'),
        ('Direct3D 9', 'bare_window_d3d9.exe', 'Bare Direct3D 9 window', 'quorvex-dx.exe'),
    ]
    results = []
    try:
        for api, bare_exe, bare_title, program_exe in apis:
            name = program_exe[:-4]
            bare = run_bare(os.path.join(build, 'tools', 'bench', bare_exe), bare_title,
                            os.path.join(work, bare_exe[:-4]), display)
            program = run_program(os.path.join(build, program_exe), install,
                                  os.path.join(work, name + '-chooser'), display, session=False)
            program.update(run_program(os.path.join(build, program_exe), install,
                                       os.path.join(work, name + '-session'), display, session=True))
            results.append((api, bare_exe[:-4], bare, name, program))
    except BenchError as error:
        print('program benchmark: %s' % error)
        return 1
    print_table(results)
    return 0


if __name__ == '__main__':
    sys.exit(main())
