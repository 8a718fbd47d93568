#!/usr/bin/env bash
# Checks that includes point only down the layers: a source in one room may include its own room
# and the rooms below it, nothing above or beside it. tests/, bench/, tools/ and the rest may
# include anything. Also checks that OS headers stay in the per-OS folders (win32/, posix/), and
# that no header of a room declares a mutable global and no source of a room defines a writable
# object at namespace scope, besides the two anchors named below.
#
#   tools/check-layers.sh [--report-only]
#   tools/check-layers.sh --objects FILE...   (lists what the namespace-scope check finds)
#
# Prints every include that breaks the order, as FILE:LINE: ROOM -> ROOM (the include). Exits 1
# when there is one, unless --report-only.
set -euo pipefail
caller=$(pwd)
cd "$(dirname "$0")/.."

# Prints FILE:LINE: NAME for each object at namespace scope that is not const or constexpr.
namespace_objects() {
    python3 - "$@" <<'SCAN'
import re, sys

def strip(text):
    # Comments, strings and character literals out, line breaks kept.
    out, i, n = [], 0, len(text)
    while i < n:
        c = text[i]
        if text.startswith('//', i):
            j = text.find('\n', i)
            i = n if j < 0 else j
        elif text.startswith('/*', i):
            j = text.find('*/', i + 2)
            j = n if j < 0 else j + 2
            out.append('\n' * text.count('\n', i, j))
            i = j
        elif c == 'R' and text.startswith('R"', i) and (i == 0 or not (text[i-1].isalnum() or text[i-1] == '_')):
            m = re.match(r'R"([^(]*)\(', text[i:])
            end = text.find(')' + m.group(1) + '"', i) if m else -1
            j = n if end < 0 else end + len(m.group(1)) + 2
            out.append('""' + '\n' * text.count('\n', i, j))
            i = j
        elif c in '"\'':
            j = i + 1
            while j < n and text[j] != c and text[j] != '\n':
                j += 2 if text[j] == '\\' else 1
            out.append(c + c)
            i = j + 1
        else:
            out.append(c)
            i += 1
    return ''.join(out)

def preprocessor_out(text):
    lines, cont = [], False
    for line in text.split('\n'):
        directive = cont or line.lstrip().startswith('#')
        cont = directive and line.endswith('\\')
        lines.append('' if directive else line)
    return '\n'.join(lines)

def skip_block(text, i):
    # text[i] == '{': index after the matching '}'.
    depth = 0
    while i < len(text):
        if text[i] == '{':
            depth += 1
        elif text[i] == '}':
            depth -= 1
            if depth == 0:
                return i + 1
        i += 1
    return i

def top_level(stmt):
    # The statement with everything inside (), <> and [] replaced by blanks.
    out, depth = [], 0
    for c in stmt:
        if c in '([':
            depth += 1
        elif c in ')]':
            depth -= 1
        out.append(c if depth == 0 and c not in ')]' else ' ')
    return ''.join(out)

def declarator_writable(stmt):
    s = re.sub(r'\[\[.*?\]\]', ' ', stmt)
    s = re.sub(r'\b(alignas|__attribute__)\s*\(\(?.*?\)\)?', ' ', s)
    head = s.split('=')[0]
    words = re.findall(r'[A-Za-z_]\w*|\*|&', head)
    if 'constexpr' in words:
        return False
    if 'const' not in words:
        return True
    # const binds to what stands left of it: "const T* p" is a pointer that can be changed.
    last_ptr = max((k for k, w in enumerate(words) if w == '*'), default=-1)
    last_const = max(k for k, w in enumerate(words) if w == 'const')
    return last_ptr > last_const

def name_of(stmt):
    head = top_level(stmt.split('=')[0]).split('{')[0]
    names = re.findall(r'[A-Za-z_]\w*', head)
    return names[-1] if names else '?'

skip_heads = re.compile(
    r'^(using|typedef|template|static_assert|friend|extern|namespace\s+\w+\s*=|'
    r'(class|struct|union|enum)(\s+class)?\s+[\w:]+\s*(final\s*)?(:[^=]*)?$)')

def objects(path):
    text = preprocessor_out(strip(open(path, encoding='utf-8', errors='replace').read()))
    found, i, start, n = [], 0, 0, len(text)
    while i < n:
        c = text[i]
        if c == '}':  # end of a namespace or extern "C" block
            i += 1
            start = i
            continue
        if c == '(':
            depth = 0
            while i < n:
                depth += text[i] == '('
                depth -= text[i] == ')'
                i += 1
                if depth == 0:
                    break
            continue
        if c not in ';{':
            i += 1
            continue
        stmt = ' '.join(text[start:i].split())
        line = text.count('\n', 0, start + len(text[start:i]) - len(text[start:i].lstrip())) + 1
        if c == '{':
            if re.match(r'^(inline\s+)?namespace\b', stmt) or re.match(r'^extern\s*""$', stmt):
                i += 1
                start = i
                continue
            flat = top_level(re.sub(r'\boperator\s*\S+?\s*\(', 'operator(', stmt))
            is_type = re.match(r'^(template\s*<.*>\s*)?(\w+\s+)*(class|struct|union|enum)\b', stmt) and '=' not in flat
            is_function = not is_type and '=' not in flat and re.search(r'\)[^()]*$', stmt)
            end = skip_block(text, i)
            if is_type or is_function:
                # A type's declarators after its body would be objects too.
                if is_type:
                    j = text.find(';', end)
                    tail = text[end:j].strip() if j >= 0 else ''
                    if tail and declarator_writable(stmt + ' ' + tail):
                        found.append((line, re.findall(r'\w+', tail)[-1]))
                    end = j + 1 if j >= 0 else end
                i = end
                start = i
                continue
            # An object with a braced initialiser.
            j = text.find(';', end)
            if declarator_writable(stmt):
                found.append((line, name_of(stmt)))
            i = j + 1 if j >= 0 else end
            start = i
            continue
        # c == ';'
        i += 1
        start = i
        if not stmt or skip_heads.match(stmt):
            continue
        flat = top_level(stmt)
        if '(' in stmt.split('=')[0]:
            # A function's declaration, unless the parentheses hold an initialiser.
            args = stmt.split('(', 1)[1]
            if not re.match(r'^\s*([0-9"\'&-]|nullptr|true|false)', args):
                continue
        if declarator_writable(stmt):
            found.append((line, name_of(stmt)))
    return found

for path in sys.argv[1:]:
    for line, name in objects(path):
        print(f'{path}:{line}: {name}')
SCAN
}

if [ "${1:-}" = --objects ]; then
    shift
    cd "$caller"
    namespace_objects "$@"
    exit 0
fi

report_only=false
[ "${1:-}" = --report-only ] && report_only=true

# What each room may include besides itself, bottom up.
declare -A allowed=(
    [config]=""
    [base]=""
    [classloader]=""
    [platform]="base"
    [net]="base"
    [splash]="platform base"
    [update]="net platform base config"
    [vmhost]="platform classloader base config"
    [launcher]="update vmhost splash platform base config"
    [entry]="launcher config"
)
# Headers of the OS and of libcurl, allowed only under win32/ and posix/.
os_headers='^(windows\.h|windef\.h|winbase\.h|wininet\.h|shlwapi\.h|shellapi\.h|shlobj\.h|dlfcn\.h|unistd\.h|fcntl\.h|semaphore\.h|sys/.*|curl/.*)$'

violations=0
while IFS= read -r -d '' file; do
    room=${file%%/*}
    [ -n "${allowed[$room]+set}" ] || continue
    line_no=0
    while IFS= read -r line; do
        line_no=$((line_no + 1))
        [[ $line =~ ^[[:space:]]*#[[:space:]]*include[[:space:]]*([\"\<])([^\"\>]+)[\"\>] ]] || continue
        kind=${BASH_REMATCH[1]} target=${BASH_REMATCH[2]}
        if [ "$kind" = '<' ]; then
            if [[ $target =~ $os_headers ]] && [[ $file != */win32/* && $file != */posix/* ]]; then
                echo "$file:$line_no: OS header outside win32/ and posix/ (<$target>)"
                violations=$((violations + 1))
            fi
            continue
        fi
        [[ $target == */* ]] || continue # a header beside the file: its own room
        to=${target%%/*}
        [ -n "${allowed[$to]+set}" ] || continue
        [ "$to" = "$room" ] && continue
        if [[ " ${allowed[$room]} " != *" $to "* ]]; then
            echo "$file:$line_no: $room -> $to (\"$target\")"
            violations=$((violations + 1))
        fi
    done <"$file"
done < <(git ls-files -z -- '*.c' '*.cpp' '*.h')

# The OS is told apart by folder, never by the preprocessor.
while IFS= read -r hit; do
    echo "$hit: OS test outside win32/ and posix/"
    violations=$((violations + 1))
done < <(git ls-files -- '*.c' '*.cpp' '*.h' | grep -E "^($(IFS='|'; echo "${!allowed[*]}"))/" |
    grep -vE '/(win32|posix)/' | xargs -r grep -nE '^[[:space:]]*#[[:space:]]*if.*(_WIN32|__linux__)' || true)

# No mutable global declared in a header: state lives in objects or behind functions. A header
# may declare constants (extern const) and functions, nothing that can be written.
while IFS= read -r hit; do
    echo "$hit: mutable global declared in a header"
    violations=$((violations + 1))
done < <(git ls-files -- '*.h' | grep -E "^($(IFS='|'; echo "${!allowed[*]}"))/" |
    xargs -r grep -nE '^[[:space:]]*extern[[:space:]]+' | grep -vE 'extern[[:space:]]+(const[[:space:]]|"C")' || true)

# No writable object at namespace scope in a room's sources or headers (an inline or static one
# there): state belongs to objects that the entry creates and hands down. The natives get no
# context from the VM, so they read the session they were handed through one anchor set once;
# every support_line of the process reads the open support log through another. These are the
# only ones allowed (FILE:NAME).
anchors=(
    vmhost/session.cpp:anchor
    base/support_log.cpp:current
)
mapfile -t sources < <(git ls-files -- '*.c' '*.cpp' '*.h' | grep -E "^($(IFS='|'; echo "${!allowed[*]}"))/")
while IFS= read -r hit; do
    file=${hit%%:*} name=${hit##*: }
    [[ " ${anchors[*]} " == *" $file:$name "* ]] && continue
    echo "$hit: writable object at namespace scope"
    violations=$((violations + 1))
done < <(namespace_objects "${sources[@]}")

if [ "$violations" -eq 0 ]; then
    echo "layers: every include points down"
    exit 0
fi
echo "layers: $violations breaks of the layering"
$report_only || exit 1
