#!/usr/bin/env bash
# The demo (make demo, after the build): a small self-extracting archive, run under Wine on a
# headless X server. The UI driver does what a user would: it looks at the main dialog (a
# screenshot is saved), types the destination, ticks "Recriar Subdiretórios" and "Exibir
# Mensagens", clicks "E&xtrair" and reads the final message.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
demo="$root/build/demo"
native="$root/build/native/bin"
# Only 64-bit Wine is at hand here, so the demo runs the x86_64 stub.
stub="$root/build/win64/bin/vespa-sfx.exe"

for f in "$native/vespa-mksfx" "$stub" "$root/build/win64/bin/vespa-uidriver.exe"; do
  [ -e "$f" ] || { echo "demo: $f is missing; run make build first" >&2; exit 1; }
done

rm -rf "$demo/files" "$demo/out" "$demo/demo-setup.exe" "$demo/screenshot.png"
mkdir -p "$demo/files/docs" "$demo/out"
printf 'Bem-vindo ao VESPA!\r\nEste pacote foi criado pela demonstração.\r\n' > "$demo/files/leia-me.txt"
printf 'Relatório anual\r\n%.0s' $(seq 1 200) > "$demo/files/relatório.txt"
printf 'Manual de instalação\r\n' > "$demo/files/docs/manual.txt"

# One command from the folder to the program; the Portuguese name goes in UTF-8, which the stub
# shows and writes exactly.
"$native/vespa-mksfx" -o "$demo/demo-setup.exe" --stub "$stub" "$demo/files"
echo "demo: built $demo/demo-setup.exe ($(stat -c %s "$demo/demo-setup.exe") bytes)"

# Under Wine: the stub's own dialog extracts the archive.
export VESPA_SOURCE="$root" VESPA_WIN64_BIN="$root/build/win64/bin" VESPA_BIN="$native"
export VESPA_WINE_ROOT="$demo/wine" VESPA_WINE_RUN=demo
python3 - "$demo" <<'EOF'
import os, sys
sys.path.insert(0, os.path.join(os.environ["VESPA_SOURCE"], "tests", "wine"))
import harness

demo = sys.argv[1]
setup = os.path.join(demo, "demo-setup.exe")
out = os.path.join(demo, "out")
print("demo: starting Wine (the first run boots a Wine prefix, about 20 s)")
with harness.WineSession() as session:
    driver = session.driver()
    driver.launch(setup)
    caption = driver.wait_window(1007, 1010)
    dialog = driver.dump()
    print(f"demo: main dialog open: {caption}")
    print(f"demo:   required {dialog.controls[1010].text}, available {dialog.controls[1011].text}")
    shot = session.screenshot(os.path.join(demo, "screenshot.png"), driver.rect())
    print(f"demo: screenshot of the main dialog: {shot}")

    destination = harness.windows_path(out)
    driver.set_text(1007, destination)
    driver.check(1013)  # "Recriar Su&bdiretórios"
    driver.check(1022)  # "Exibir &Mensagens"
    print(f"demo: extracting into {destination} (E&xtrair)")
    driver.press(1)
    _, message = driver.wait_message_box()
    print(f"demo: the stub says: {message}")
    driver.answer(harness.IDOK)
    print(f"demo: the stub ended with exit code {driver.exit_code()}")

print(f"demo: extracted into {out}:")
for folder, _, names in sorted(os.walk(out)):
    for name in sorted(names):
        path = os.path.join(folder, name)
        print(f"demo:   {os.path.relpath(path, out)} ({os.path.getsize(path)} bytes)")
EOF
