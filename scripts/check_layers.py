#!/usr/bin/env python3
"""Checks that the folders keep the architecture ARCHITECTURE.md describes.

Each folder declares its libraries and programs in its CMakeLists.txt, and
links what it uses. From those declarations this script checks every C++
file of the folders that hold libraries or programs:

  - an include of another folder names a folder that the file's folder
    links, directly or through what it links: dependencies point downwards
    and the folders form no circle;
  - a folder that links no toolkit target includes no toolkit header, and
    one that does not link the widgets includes no widget header (nor a
    generated ui_*.h);
  - a bare include names a file of the same folder;
  - no two files depend on each other: a file's unit (X.h with X.cpp)
    includes no header whose unit includes it back, directly or around a
    circle, and a .cpp file defines members of no class but its own
    header's.

Usage: check_layers.py [SOURCE_DIR]. Prints each fault and exits with 1 if
there is one, 0 otherwise.
"""

import os
import re
import sys

ROOT = os.path.abspath(sys.argv[1] if len(sys.argv) > 1 else os.path.join(os.path.dirname(__file__), ".."))
# Folders that are not libraries or programs of the product.
SKIP = {"tests", "bench", "build", "res", "doc", "sample", "scripts", "packaging", "cmake"}
WIDGET_HEADERS_DIR = "/usr/include/x86_64-linux-gnu/qt6/QtWidgets"

faults = []


def fault(text):
    faults.append(text)


def product_folders():
    out = []
    for name in sorted(os.listdir(ROOT)):
        path = os.path.join(ROOT, name)
        if (name.startswith(".") or name.startswith("build") or name in SKIP or not os.path.isdir(path)
                or not os.path.isfile(os.path.join(path, "CMakeLists.txt"))):
            continue
        out.append(name)
    return out


def cmake_commands(text, command):
    """The argument lists of every call of command in a CMake file."""
    text = re.sub(r"#[^\n]*", "", text)
    for match in re.finditer(r"\b%s\s*\(([^)]*)\)" % command, text):
        yield match.group(1).split()


def read_targets(folders):
    """target -> folder, and folder -> set of targets it links."""
    owner = {}
    links = {folder: set() for folder in folders}
    for folder in folders:
        text = open(os.path.join(ROOT, folder, "CMakeLists.txt"), encoding="utf-8").read()
        for command in ("add_library", "add_executable"):
            for args in cmake_commands(text, command):
                owner[args[0]] = folder
        for args in cmake_commands(text, "target_link_libraries"):
            for word in args[1:]:
                word = re.sub(r'^"?\$<LINK_LIBRARY:[A-Z_]+,(.*)>"?$', r"\1", word)
                if word not in ("PUBLIC", "PRIVATE", "INTERFACE"):
                    links[folder].add(word)
    return owner, links


def folder_graph(folders, owner, links):
    graph = {}
    for folder in folders:
        graph[folder] = {owner[t] for t in links[folder] if t in owner and owner[t] != folder}
    return graph


def find_circle(graph):
    state = {}
    path = []

    def visit(node):
        state[node] = 1
        path.append(node)
        for nxt in sorted(graph.get(node, ())):
            if state.get(nxt) == 1:
                return path[path.index(nxt):] + [nxt]
            if nxt not in state:
                found = visit(nxt)
                if found:
                    return found
        path.pop()
        state[node] = 2
        return None

    for node in sorted(graph):
        if node not in state:
            found = visit(node)
            if found:
                return found
    return None


def closure(graph, start):
    seen = set()
    todo = [start]
    while todo:
        node = todo.pop()
        for nxt in graph.get(node, ()):
            if nxt not in seen:
                seen.add(nxt)
                todo.append(nxt)
    return seen


def toolkit_links(folder, graph, links):
    """The toolkit modules a folder links, itself or through what it links."""
    modules = set()
    for f in {folder} | closure(graph, folder):
        modules |= {t.split("::")[1] for t in links[f] if t.startswith("Qt6::")}
    if "Widgets" in modules:
        modules |= {"Gui", "Core"}
    if "Gui" in modules:
        modules.add("Core")
    return modules


def widget_header_names():
    names = set()
    if os.path.isdir(WIDGET_HEADERS_DIR):
        names = {n for n in os.listdir(WIDGET_HEADERS_DIR) if n.startswith("Q") and "." not in n}
    names |= {"QWidget", "QDialog", "QApplication", "QMessageBox", "QFileDialog", "QPushButton", "QLabel",
              "QLineEdit", "QtWidgets"}
    return names


def main():
    folders = product_folders()
    owner, links = read_targets(folders)
    graph = folder_graph(folders, owner, links)
    circle = find_circle(graph)
    if circle:
        fault("the folders link each other in a circle: " + " -> ".join(circle))
    widgets = widget_header_names()

    include_re = re.compile(r'^\s*#\s*include\s*([<"])([^">]+)[">]', re.M)
    units = {}   # unit path (folder/Name) -> set of units it includes
    classes = {}  # class name -> header unit
    sources = []
    for folder in folders:
        allowed = closure(graph, folder)
        toolkit = toolkit_links(folder, graph, links)
        for name in sorted(os.listdir(os.path.join(ROOT, folder))):
            if not name.endswith((".h", ".cpp")):
                continue
            rel = folder + "/" + name
            text = open(os.path.join(ROOT, rel), encoding="utf-8").read()
            unit = rel.rsplit(".", 1)[0]
            units.setdefault(unit, set())
            if name.endswith(".h"):
                for match in re.finditer(r"^(?:class|struct)\s+(?:\w+\s+)?([A-Z]\w*)\s*(?:final\s*)?[:{]", text, re.M):
                    classes.setdefault(match.group(1), unit)
            else:
                sources.append((rel, unit, text))
            for match in include_re.finditer(text):
                quote, header = match.groups()
                line = text.count("\n", 0, match.start()) + 1
                where = "%s:%d" % (rel, line)
                if quote == "<":
                    top = header.split("/")[0]
                    if top.startswith("Qt") and top != "Qt":
                        module = top[2:]
                    elif header.startswith("Q") and "/" not in header and "." not in header:
                        module = "Widgets" if header in widgets else "Gui/Core"
                    else:
                        continue
                    if not toolkit:
                        fault("%s: <%s> in %s/, which links no toolkit" % (where, header, folder))
                    elif module == "Widgets" and "Widgets" not in toolkit:
                        fault("%s: widget header <%s> in %s/, which does not link the widgets" % (where, header, folder))
                    continue
                if header.startswith("ui_"):
                    if "Widgets" not in toolkit:
                        fault("%s: dialog template %s in %s/, which does not link the widgets" % (where, header, folder))
                    continue
                if header.endswith(".moc"):
                    continue
                parts = header.split("/")
                if len(parts) == 1:
                    if not os.path.isfile(os.path.join(ROOT, folder, header)) and header != "InstallLayout.h":
                        fault("%s: \"%s\" is not a file of %s/" % (where, header, folder))
                    target_unit = folder + "/" + header.rsplit(".", 1)[0]
                else:
                    other = parts[0]
                    if other not in folders:
                        continue
                    if other != folder and other not in allowed:
                        fault("%s: includes %s, but %s/ does not link %s/ (dependencies point downwards)"
                              % (where, header, folder, other))
                    target_unit = header.rsplit(".", 1)[0]
                if target_unit != unit:
                    units[unit].add(target_unit)

    # Members of a class are defined in the class's own file.
    member_re = re.compile(r"^[A-Za-z_][\w:<>,\s\*&]*?\b([A-Z]\w*)::~?(\w+)\s*\(", re.M)
    for rel, unit, text in sources:
        for match in member_re.finditer(text):
            cls = match.group(1)
            home = classes.get(cls)
            if home and home != unit and match.group(2) != cls and not match.group(0).lstrip().startswith("return"):
                line = text.count("\n", 0, match.start()) + 1
                fault("%s:%d: defines %s::%s, a member of the class of %s.h: the two files depend on each other"
                      % (rel, line, cls, match.group(2), home))

    circle = find_circle(units)
    if circle:
        fault("files depend on each other in a circle: " + " -> ".join(circle))

    for text in faults:
        print(text)
    if not faults:
        print("%d folders, %d files: every dependency points downwards" % (len(folders), len(units)))
    return 1 if faults else 0


if __name__ == "__main__":
    sys.exit(main())
