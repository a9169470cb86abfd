"""Drives for the search scenarios: a Wine prefix whose only drives are the
ones a scenario maps, each with its type.

Wine's mount manager reads the drive links and their types when the prefix's
services start, so the server is restarted after the change.
"""

import os

import wine_env

# Types as Wine's HKLM\Software\Wine\Drives spells them.
WINE_TYPES = {"fixed": "hd", "removable": "floppy", "network": "network", "cdrom": "cdrom"}


def map_drives(wine, drives, keep_c_fixed=False):
    """drives: {"d": (unix_folder, "fixed"), ...}. Z: (the whole Linux root)
    goes away; C: stays, the prefix's own drive, marked as a network drive
    unless told otherwise so that the walk leaves the prefix's files alone."""
    devices = os.path.join(wine.prefix, "dosdevices")
    for name in os.listdir(devices):
        if len(name) == 2 and name[1] == ":" and name[0] != "c":
            os.unlink(os.path.join(devices, name))
    types = {} if keep_c_fixed else {"c": "network"}
    for letter, (folder, kind) in drives.items():
        os.symlink(os.path.abspath(folder), os.path.join(devices, letter.lower() + ":"))
        types[letter.lower()] = WINE_TYPES[kind]
    for letter, kind in types.items():
        wine.reg_add(r"HKLM\Software\Wine\Drives", letter + ":", kind)
    wine_env._stop_server(wine.env, wine.log)
    wine_env._run_quiet(["wineserver", "-p"], wine.env, wine.log, 60)
