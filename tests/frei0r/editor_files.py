#!/usr/bin/env python3
# The editors' descriptions of the frei0r filter: Kdenlive's XML parses and names every parameter the filter
# has (as melt lists them), with a value for every popup choice; Shotcut's QML passes qmllint and sets only
# parameters the filter has.
#   editor_files.py FILTER_DIR KDENLIVE_XML SHOTCUT_FOLDER QMLLINT
import os
import re
import subprocess
import sys
import xml.etree.ElementTree as ET


def main():
    filter_dir, kdenlive_xml, shotcut_dir, qmllint = sys.argv[1:5]
    env = dict(os.environ, FREI0R_PATH=filter_dir)
    query = subprocess.run(["melt", "-query", "filter=frei0r.crumbleforge"], env=env, check=True,
                           stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, text=True).stdout
    titles = [l.split("title:", 1)[1].strip() for l in query.splitlines() if l.strip().startswith("title:")][1:]
    problems = []
    if len(titles) < 2:
        problems.append("melt lists no parameters of the filter")

    effect = ET.parse(kdenlive_xml).getroot()
    if effect.get("tag") != "frei0r.crumbleforge":
        problems.append(f"Kdenlive XML is for {effect.get('tag')!r}")
    params = effect.findall("parameter")
    names = [p.get("name") for p in params]
    if names != titles:
        problems.append(f"Kdenlive XML names {names}, the filter has {titles}")
    for p in params:
        if not (p.findtext("name") or "").strip():
            problems.append(f"Kdenlive parameter {p.get('name')!r} has no shown name")
        if p.get("type") == "list":
            values = p.get("paramlist", "").split(";")
            shown = (p.findtext("paramlistdisplay") or "").split(",")
            if len(values) != len(shown) or len(set(values)) != len(values):
                problems.append(f"Kdenlive popup {p.get('name')!r}: values {values} for choices {shown}")

    for qml in ("meta.qml", "ui.qml"):
        path = os.path.join(shotcut_dir, qml)
        lint = subprocess.run([qmllint, path], stdout=subprocess.PIPE, stderr=subprocess.STDOUT, text=True)
        if lint.returncode != 0:
            problems.append(f"qmllint {qml}: {lint.stdout.strip()}")
    with open(os.path.join(shotcut_dir, "meta.qml")) as f:
        if "mlt_service: 'frei0r.crumbleforge'" not in f.read():
            problems.append("meta.qml names another service")
    with open(os.path.join(shotcut_dir, "ui.qml")) as f:
        ui = f.read()
    for name in sorted(set(re.findall(r"filter\.(?:set|get|getDouble)\('([^']*)'", ui))):
        if name not in titles:
            problems.append(f"ui.qml uses {name!r}, which the filter does not have")

    for problem in problems:
        print(problem)
    sys.exit(1 if problems else 0)


if __name__ == "__main__":
    main()
