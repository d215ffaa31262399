#!/usr/bin/env python3
"""Stand-in file server for the Quorvex client's tests.

    python3 tools/standin/file_server.py --dir CLIENT_FOLDER

Listens on 127.0.0.1 (a free port), writes CLIENT_FOLDER/data/vantfile_ip.txt
and serves dream archives: "welcome" line; the client's request
"RC name password id 0 2 4096"; the answer "44 total 0 blocksize"; blocks of
exactly blocksize bytes ("SC", the block number as 32-bit little-endian, four
unused bytes, payload padded with zeros), each acknowledged by "PKOK n"; and
the client's "BYE", after which it hangs up. Every connection reads
CLIENT_FOLDER/standin/file.json again; all keys are optional:

    {"transcript": "fs",        -> standin/fs-1.bin, fs-2.bin ... per connection
     "dreams": "standin/dreams",  folder of <id>.dream files (relative to the
                                  client folder, or absolute)
     "welcome": "10 Welcome\\n",  or a list of pieces, each one write, 0.5 s apart
     "block_size": 4096,
     "pace": "ack",             "ack": each block after the previous one's PKOK;
                                "burst": all blocks at once; "glued": the
                                answer and all blocks in one write
     "answer_delay": 0.1,       seconds between the request and the answer
     "answer": "...",           the whole answer line instead of the real one
     "total": 123,              the total to announce instead of the file's size
     "trailer": "...",          bytes sent in the same write as the last block
     "fail": "...",             one failure, at block "fail_block" (default 1):
        "untagged_block"          that block does not begin with "SC"
        "out_of_order"            the next block number is skipped there
        "close_mid"               hang up instead of sending that block
        "short_block"             half of that block, then hang up
        "close_after_answer"      hang up right after the answer line
        "close_after_blocks"      hang up right after the last block, without
                                  waiting for acknowledgements (also with
                                  "glued": right after that one write)
        "silent"                  send nothing at all, not even the welcome
        "no_answer"               read the request and send nothing more
        "stall_mid"               send nothing more from that block on
                                  (the last three keep the connection open
                                  until the client closes it)
     "dream_overrides": {"<id>": {...}}   the same keys, for one dream only}

An id without a file is answered "45 No such dream". Failures hang up only
where the failure is the hang-up itself; otherwise the server waits for the
client to close, so it never hangs up before the client's last line.

It also holds a port on which a connect never completes, for clients that
must not wait for one without limit: a listening socket with a backlog of 0
whose queue the server fills itself and never accepts from, so the system
drops every further connection request unanswered. Its address goes to
CLIENT_FOLDER/standin/unanswered_ip.txt as "127.0.0.1 PORT".
"""

import os
import select
import socket
import struct
import sys
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import standin_common  # noqa: E402

DEFAULT_WELCOME = "10 Welcome to the stand-in file server.\n"
HEADER = 10


def block_bytes(number, payload, size, tag=b"SC"):
    data = tag + struct.pack("<i", number) + b"\0\0\0\0" + payload
    return data + b"\0" * (size - len(data))


def serve(server, connection, scenario):
    timeout = float(scenario.get("timeout", 30))
    linger = float(scenario.get("linger", 600))
    if scenario.get("fail") == "silent":
        connection.log("accepted, sending nothing")
        connection.wait_for_client_close(linger)
        return
    welcome = scenario.get("welcome", DEFAULT_WELCOME)
    for index, piece in enumerate(welcome if isinstance(welcome, list) else [welcome]):
        if index:
            time.sleep(0.5)
        connection.send(standin_common.to_bytes(piece))
    request = connection.read_line(timeout)
    if request is None or not request.startswith(b"RC "):
        connection.log("no request: %r" % request)
        connection.wait_for_client_close(linger)
        return
    fields = request.split()
    dream = fields[3].decode("latin-1") if len(fields) > 3 else ""
    options = dict(scenario)
    options.update(scenario.get("dream_overrides", {}).get(dream, {}))
    connection.log("request for %r" % dream)
    if options.get("fail") == "no_answer":
        connection.log("not answering")
        connection.wait_for_client_close(linger)
        return

    folder = server.path(options.get("dreams", os.path.join("standin", "dreams")))
    path = os.path.join(folder, dream + ".dream")
    content = None
    if dream and "/" not in dream and "\\" not in dream and os.path.isfile(path):
        with open(path, "rb") as f:
            content = f.read()
    if content is None and "answer" not in options:
        connection.send(b"45 No such dream\n")
        connection.wait_for_client_close(linger)
        return

    time.sleep(float(options.get("answer_delay", 0)))
    size = int(options.get("block_size", 4096))
    total = int(options.get("total", len(content) if content is not None else 0))
    answer = standin_common.to_bytes(options.get("answer", "44 %d 0 %d\n" % (total, size)))
    pace = options.get("pace", "ack")
    fail = options.get("fail")
    trailer = standin_common.to_bytes(options.get("trailer", ""))
    if pace == "glued" and content is not None and size > HEADER:
        payload = size - HEADER
        blocks = [block_bytes(i, content[i * payload:(i + 1) * payload], size)
                  for i in range((len(content) + payload - 1) // payload)]
        connection.send(answer + b"".join(blocks) + trailer)
        if fail == "close_after_blocks":
            connection.log("closing after the glued answer and blocks")
            connection.close()
            return
        connection.wait_for_client_close(linger)
        return
    connection.send(answer)
    if fail == "close_after_answer":
        connection.log("closing after the answer")
        connection.close()
        return
    if content is None or size <= HEADER:
        connection.wait_for_client_close(linger)
        return

    payload = size - HEADER
    count = (len(content) + payload - 1) // payload
    fail_block = int(options.get("fail_block", 1))
    burst = pace == "burst"
    pending_acks = []
    for index in range(count):
        piece = content[index * payload:(index + 1) * payload]
        number = index
        tag = b"SC"
        if index == fail_block:
            if fail == "close_mid":
                connection.log("closing before block %d" % index)
                connection.close()
                return
            if fail == "stall_mid":
                connection.log("sending nothing from block %d on" % index)
                connection.wait_for_client_close(linger)
                return
            if fail == "untagged_block":
                tag = b"XX"
            if fail == "out_of_order":
                number = index + 1
        data = block_bytes(number, piece, size, tag)
        if index == count - 1:
            data += trailer
        if index == fail_block and fail == "short_block":
            connection.send(data[:size // 2])
            connection.log("closing inside block %d" % index)
            connection.close()
            return
        if not connection.send(data):
            return
        pending_acks.append(number)
        if not burst:
            if not connection.expect("PKOK %d\n" % number, timeout):
                connection.wait_for_client_close(linger)
                return
            pending_acks.pop()
    if fail == "close_after_blocks":
        connection.log("closing after the last block")
        connection.close()
        return
    for number in pending_acks:
        if not connection.expect("PKOK %d\n" % number, timeout):
            connection.wait_for_client_close(linger)
            return
    if connection.expect("BYE\n", timeout):
        connection.log("BYE received, closing")
        connection.close()
    else:
        connection.wait_for_client_close(linger)


def hold_unanswered_port(server):
    """A listening socket whose queue is full: connects to it stay pending.
    Returns the sockets, which must stay open as long as the port is used."""
    listener = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
    listener.bind(("127.0.0.1", 0))
    listener.listen(0)
    port = listener.getsockname()[1]
    held = [listener]
    # Fill the queue: connects complete until it is full (one, on Linux);
    # the first that stays pending shows that it is.
    while len(held) < 8:
        filler = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
        filler.setblocking(False)
        filler.connect_ex(("127.0.0.1", port))
        held.append(filler)
        _, done, _ = select.select([], [filler], [], 0.5)
        if not done:
            break
    else:
        server.log("file server: the unanswered port's queue never filled")
    target = os.path.join(server.standin_dir, "unanswered_ip.txt")
    with open(target + ".tmp", "w") as f:
        f.write("127.0.0.1 %d\n" % port)
    os.replace(target + ".tmp", target)
    server.log("file server: connects to 127.0.0.1:%d stay pending" % port)
    return held


if __name__ == "__main__":
    file_server = standin_common.StandInServer("file server", "vantfile_ip.txt", "file.json", "file", serve)
    # Made before the server announces itself: ready when the tests start.
    unanswered = hold_unanswered_port(file_server)
    file_server.run()
