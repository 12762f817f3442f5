"""What the benchmarks share: a user of their own for the program, and its orderly end."""
import os
import subprocess
import tempfile


def make_home(settings):
    """A temporary home with `settings` as the settings file; returns (folder, environment)."""
    home = tempfile.mkdtemp()
    config = os.path.join(home, "config", "Calvort")
    os.makedirs(config)
    os.makedirs(os.path.join(home, "run"), mode=0o700)
    with open(os.path.join(config, "Quorvane.conf"), "w") as f:
        f.write(settings.replace("{home}", home))
    env = dict(os.environ, XDG_CONFIG_HOME=os.path.join(home, "config"),
               XDG_DATA_HOME=os.path.join(home, "data"), XDG_RUNTIME_DIR=os.path.join(home, "run"))
    return home, env


def stop(program):
    """SIGTERM, as a session or service manager ends it; killed if it is still there after 15 s."""
    program.terminate()
    try:
        program.wait(15)
    except subprocess.TimeoutExpired:
        program.kill()
