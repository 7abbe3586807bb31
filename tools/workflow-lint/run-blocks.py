#!/usr/bin/env python3
"""Writes every `run:` block of GitHub Actions workflow files to a script of its own, as
the runner would run it with `shell: bash`, for shellcheck.

Each script starts with the same header: a shellcheck directive for bash and the
`set -eo pipefail` that `shell: bash` adds (`bash --noprofile --norc -eo pipefail {0}`).
Expressions (`${{ ... }}`) are replaced by a plain word, as the runner replaces them by
their value before the shell starts. A step whose shell is not bash or sh (python, pwsh,
...) is left out and named on standard error; a step without a shell of its own takes the
job's or the workflow's `defaults.run.shell`, and bash when there is none.

Usage: run-blocks.py OUTPUT_DIR WORKFLOW...
Prints one line per script written: "<script>\t<workflow>\t<line of the block's first line>
\t<header lines>", so that a finding at line N of the script is at line
(first line + N - 1 - header lines) of the workflow. Exits 1 when a workflow cannot be read
as one.
"""

import pathlib
import re
import sys

import yaml

HEADER = ["# shellcheck shell=bash", "set -eo pipefail"]
EXPRESSION = re.compile(r"\$\{\{.*?\}\}", re.DOTALL)
SHELLS = ("bash", "sh")


def placeholder(match):
    """A plain word for one expression, with its line breaks kept so that lines still match."""
    return "EXPRESSION" + "\n" * match.group(0).count("\n")


def mapping_items(node):
    """(key, value node) pairs of a YAML mapping node; none for any other node."""
    if not isinstance(node, yaml.MappingNode):
        return []
    return [(key.value, value) for key, value in node.value if isinstance(key, yaml.ScalarNode)]


def child(node, key):
    for name, value in mapping_items(node):
        if name == key:
            return value
    return None


def default_shell(node):
    run = child(child(node, "defaults"), "run")
    shell = child(run, "shell")
    return shell.value if isinstance(shell, yaml.ScalarNode) else None


def first_content_line(node):
    """1-based line of the first line of a scalar's text in its file."""
    line = node.start_mark.line + 1
    return line + 1 if node.style in ("|", ">") else line


def run_blocks(path):
    """(first line, shell, text, step name) of every run step of one workflow file."""
    root = yaml.compose(path.read_text(encoding="utf-8"))
    if root is None:
        raise ValueError("empty file")
    workflow_shell = default_shell(root)
    for _, job in mapping_items(child(root, "jobs")):
        job_shell = default_shell(job) or workflow_shell or "bash"
        steps = child(job, "steps")
        for index, step in enumerate(steps.value if isinstance(steps, yaml.SequenceNode) else []):
            run = child(step, "run")
            if not isinstance(run, yaml.ScalarNode):
                continue
            shell = child(step, "shell")
            name = child(step, "name")
            label = name.value if isinstance(name, yaml.ScalarNode) else f"step {index + 1}"
            yield (first_content_line(run), shell.value if shell is not None else job_shell,
                   run.value, label)


def main(arguments):
    if len(arguments) < 2:
        print("usage: run-blocks.py OUTPUT_DIR WORKFLOW...", file=sys.stderr)
        return 64
    output = pathlib.Path(arguments[0])
    output.mkdir(parents=True, exist_ok=True)
    count = 0
    for name in arguments[1:]:
        path = pathlib.Path(name)
        try:
            blocks = list(run_blocks(path))
        except (OSError, ValueError, yaml.YAMLError) as error:
            print(f"{path}: cannot read as a workflow: {error}", file=sys.stderr)
            return 1
        for line, shell, text, label in blocks:
            if shell.split()[0] not in SHELLS:
                print(f"{path}:{line}: {label}: shell {shell!r} is not checked", file=sys.stderr)
                continue
            count += 1
            script = output / f"{count:03d}-{path.stem}-line{line}.sh"
            script.write_text("\n".join(HEADER + [EXPRESSION.sub(placeholder, text)]) + "\n",
                              encoding="utf-8")
            print(f"{script}\t{path}\t{line}\t{len(HEADER)}")
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
