#!/usr/bin/env python3
"""Stand-in game server for the Quorvex client's tests.

    python3 tools/standin/game_server.py --dir CLIENT_FOLDER

Listens on 127.0.0.1 (a free port), writes CLIENT_FOLDER/data/vant_ip.txt and
plays, for each connection, the script in CLIENT_FOLDER/standin/game.json
(read again at every connection):

    {"transcript": "login",           -> standin/login-1.bin, login-2.bin ...
     "timeout": 30,                   seconds an "expect" waits
     "script": [
        {"send": "Welcome\\nEND\\n"},    one write of these bytes (latin-1)
        {"expect": "connect "},        wait until the client has sent this
        {"sleep": 0.2},
        {"close": true}                hang up (the lost-connection cases)
     ]}

Without a script it plays the login: a greeting in one write, the login
answer once "connect" has come, then it listens. After its script it keeps
the connection until the client closes it, so it never hangs up before the
client's last line.
"""

import os
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import standin_common  # noqa: E402

DEFAULT_SCRIPT = [
    {"send": "Welcome to the stand-in game server.\nEND\n"},
    {"expect": "connect "},
    {"expect": "\n"},
    {"send": "&&&&&&&&&&&&& You are logged in.\n"},
    {"expect": "color "},
    {"expect": "\n"},
]


def serve(server, connection, scenario):
    timeout = float(scenario.get("timeout", 30))
    for step in scenario.get("script", DEFAULT_SCRIPT):
        if "send" in step:
            connection.log("send %r" % step["send"])
            if not connection.send(standin_common.to_bytes(step["send"])):
                break
        elif "expect" in step:
            if not connection.expect(step["expect"], float(step.get("timeout", timeout))):
                break
        elif "sleep" in step:
            standin_common.time.sleep(float(step["sleep"]))
        elif step.get("close"):
            connection.log("closing")
            connection.close()
            return
    connection.wait_for_client_close(float(scenario.get("linger", 600)))
    connection.log("done")


if __name__ == "__main__":
    standin_common.StandInServer("game server", "vant_ip.txt", "game.json", "game", serve).run()
