#!/usr/bin/env python3
"""Records the terminal output of a program run in an 80x24 pseudo-terminal.

usage: capture.py OUT -- PROGRAM ARGS...   [--keys KEYS-FILE]
Keys (if given) are written after the first quiet period, one chunk per line
of the keys file with escapes (\\x1b, \\r) decoded; the recording stops when
the program exits or stays quiet for a second after the last key.
"""
import codecs, fcntl, os, pty, select, signal, struct, sys, termios, time

def main():
    out = sys.argv[1]
    rest = sys.argv[2:]
    keys = []
    if '--keys' in rest:
        i = rest.index('--keys')
        with open(rest[i + 1]) as f:
            keys = [codecs.decode(l.rstrip('\n'), 'unicode_escape') for l in f if l.strip()]
        rest = rest[:i] + rest[i + 2:]
    argv = rest[rest.index('--') + 1:]
    pid, fd = pty.fork()
    if pid == 0:
        os.environ['TERM'] = 'xterm-256color'
        os.environ['COLUMNS'] = '80'
        os.environ['LINES'] = '24'
        os.execvp(argv[0], argv)
    fcntl.ioctl(fd, termios.TIOCSWINSZ, struct.pack('HHHH', 24, 80, 0, 0))
    data = b''
    def drain(quiet):
        nonlocal data
        while True:
            r, _, _ = select.select([fd], [], [], quiet)
            if not r:
                return True
            try:
                chunk = os.read(fd, 65536)
            except OSError:
                return False
            if not chunk:
                return False
            data += chunk
    alive = drain(1.0)
    for k in keys:
        if not alive:
            break
        os.write(fd, k.encode())
        alive = drain(0.5)
    if alive:
        os.kill(pid, signal.SIGKILL)
    os.waitpid(pid, 0)
    with open(out, 'wb') as f:
        f.write(data)

main()
