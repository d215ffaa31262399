#!/usr/bin/env python3
"""Checks that the code's folders include only what stands below them:

    foundation < graphics < the backends (backend_gl, backend_d3d9)
    graphics < shell < the game's scenes
    game: formats < service < world < scenes

Every #include "..." of a file under code/ that names a file of the tree
must lie in the file's own folder or in one the table below allows. Prints
each wrong include and fails if there is one.

    check-layers.py SOURCE_DIR
"""

import os
import re
import sys

# What each folder of code/ may include besides itself.
ALLOWED = {
    'foundation': [],
    'graphics': ['foundation'],
    'backend_gl': ['foundation', 'graphics'],
    'backend_d3d9': ['foundation', 'graphics'],
    'shell': ['foundation', 'graphics'],
    'game/formats': ['foundation'],
    'game/service': ['foundation', 'game/formats'],
    'game/world': ['foundation', 'graphics', 'game/formats', 'game/service'],
    'game/scenes': ['foundation', 'graphics', 'shell', 'game/formats', 'game/service', 'game/world'],
}
INCLUDE = re.compile(r'^\s*#\s*include\s+"([^"]+)"')


def folder_of(path):
    """The table's folder a path under code/ belongs to, or None."""
    for folder in sorted(ALLOWED, key=len, reverse=True):
        if path == folder or path.startswith(folder + '/'):
            return folder
    return None


def main():
    if len(sys.argv) != 2:
        print(__doc__.strip().splitlines()[-1].strip())
        return 2
    code = os.path.join(sys.argv[1], 'code')
    wrong = []
    checked = 0
    for root, _, files in os.walk(code):
        for name in sorted(files):
            if not name.endswith(('.h', '.cpp')):
                continue
            path = os.path.join(root, name)
            relative = os.path.relpath(path, code).replace(os.sep, '/')
            own = folder_of(relative)
            if own is None:
                wrong.append(f'{relative}: not in any known folder')
                continue
            with open(path, encoding='utf-8') as source:
                for number, line in enumerate(source, 1):
                    match = INCLUDE.match(line)
                    if not match:
                        continue
                    target = match.group(1)
                    # A name beside the file (its own folder), else a path
                    # from code/.
                    beside = os.path.join(root, target)
                    if os.path.exists(beside):
                        target_folder = folder_of(os.path.relpath(beside, code).replace(os.sep, '/'))
                    elif os.path.exists(os.path.join(code, target)):
                        target_folder = folder_of(target)
                    else:
                        continue  # a platform or library header
                    checked += 1
                    if target_folder != own and target_folder not in ALLOWED[own]:
                        wrong.append(f'{relative}:{number}: includes "{match.group(1)}" ({target_folder}),'
                                     f' which {own} must not use')
    for line in wrong:
        print(line)
    print(f'check-layers: {checked} includes checked, {len(wrong)} wrong')
    return 1 if wrong else 0


if __name__ == '__main__':
    sys.exit(main())
