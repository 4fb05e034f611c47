#!/bin/bash
# The resources of KSetup.exe as stored: the six dialog templates (styles,
# sizes, fonts, control ids, kinds, positions and Japanese texts), the
# manifest (common controls 6, execution level highestAvailable) and the
# icon. Each dialog is also shown on its own and photographed.
set -euo pipefail
source "$(dirname "$0")/lib_ksetup.sh"

exe=$(winepath -w "$KS_BIN/KSetup.exe")

# Styles: 80000000 popup, 00c00000 caption, 00080000 system menu, 00020000
# minimize box, 10000000 visible, 800 centred, 200 set to the foreground,
# 80 modal frame, 40 font given. Controls: 50000000 visible child, 00010000
# tab stop, 00020000 group start, 08000000 disabled; buttons 0 push, 1
# default push, 3 auto check box, 7 group box, 9 auto radio, 2000 multi-line;
# statics 0 left, 1 centred, 200 vertically centred; edit 00800000 border,
# 80 horizontal scrolling; combo box 3 drop-down list, 100 sorted, 00200000
# vertical scroll bar.
expect_template() {
  local id=$1 expected
  expected=$(cat)
  ks_expect "dialog $id template" "$(ks_drv resource "$exe" "$id")" "$expected"
}

expect_template 101 <<'EOF2'
DIALOG	80c008c0	00000000	0,0,243,275	KSetup	9pt ＭＳ Ｐゴシック
1	BUTTON	50010001	7,244,145,24	インストール開始
2	BUTTON	50030000	154,244,78,24	ｷｬﾝｾﾙ
1011	STATIC	50020001	7,181,229,27	
1000	EDIT	50810080	7,213,180,14	
1001	BUTTON	50010000	192,213,44,14	参照
-1	BUTTON	50000007	22,92,205,78	インストールの設定
1002	BUTTON	50030009	45,115,134,14	すべてインストール （？MB）
1003	BUTTON	50010009	54,132,133,14	インストールオプション２（？ＭＢ）
1004	BUTTON	50010009	62,149,134,14	インストールオプション３ （？MB）
-1	STATIC	50020000	34,103,142,12	括弧内は必要なＨＤの空き容量です。
EOF2

expect_template 102 <<'EOF2'
DIALOGEX	80ca08c0	00000000	0,0,255,213	KSetup	9pt weight=0 italic=0 charset=128 ＭＳ Ｐゴシック
3	BUTTON	50010001	186,5,66,21	インストール
1	BUTTON	58010001	187,38,65,22	ゲーム開始
4	BUTTON	58012000	187,70,65,22	DirectX の\r\nインストール
2	BUTTON	50010000	186,189,66,20	終了
EOF2

expect_template 109 <<'EOF2'
DIALOG	80c808c0	00000000	0,0,186,105	ゲームのアンインストール	9pt ＭＳ Ｐゴシック
1	BUTTON	50010001	74,84,50,14	実行
2	BUTTON	50010000	129,84,50,14	ｷｬﾝｾﾙ
-1	STATIC	50020000	13,41,161,18	　ゲームをプレイするには、もう一度インストールが必要になります。
1012	STATIC	50000201	15,18,158,12	ゲームのアンインストールを行います
-1	BUTTON	50000007	7,7,172,57	
1009	BUTTON	50010003	7,69,172,12	セーブデータも削除する
EOF2

expect_template 111 <<'EOF2'
DIALOG	80c80ac0	00000000	0,0,187,93	ＣＤの挿入	9pt ＭＳ Ｐゴシック
1	BUTTON	50010001	7,72,50,14	OK
2	BUTTON	50010000	67,72,50,14	ｷｬﾝｾﾙ
3	BUTTON	50010000	130,72,50,14	強制実行
1015	STATIC	50020001	7,7,173,12	
-1	STATIC	50020001	7,25,173,39	をＣＤドライブにセットして下さい。\r\n\r\n正しいＣＤをセットしてもこのダイアログが繰り返し\r\n表示される場合は、[強制実行]を押して下さい。
EOF2

expect_template 112 <<'EOF2'
DIALOG	80c808c0	00000000	0,0,187,67	ドライブの選択	9pt ＭＳ Ｐゴシック
1	BUTTON	50010001	73,46,50,14	OK
2	BUTTON	50010000	130,46,50,14	ｷｬﾝｾﾙ
-1	STATIC	50020000	7,7,149,13	CDの挿入されているドライブを選択してください
1016	COMBOBOX	50210103	51,25,129,73	
EOF2

expect_template 113 <<'EOF2'
DIALOG	90c808c0	00000000	0,0,187,105	空きディスク容量の警告	9pt ＭＳ Ｐゴシック
1	BUTTON	50010001	30,84,50,14	戻る
2	BUTTON	50010000	99,84,50,14	強制実行
-1	STATIC	50000201	18,7,150,13	空きディスク容量が不足していると思われます。
-1	STATIC	50000201	7,24,173,13	別のドライブを指定するか、オプションを変更して下さい。
-1	STATIC	50020000	19,51,148,24	充分な空き容量があるにもかかわらず、この警告が表示される場合は、強制実行を押下して下さい。
EOF2

manifest=$(ks_drv manifest "$exe")
grep -q 'name="Microsoft.Windows.Common-Controls" version="6.0.0.0"' <<<"$manifest" ||
  ks_fail "the manifest does not ask for common controls 6"
grep -q 'requestedExecutionLevel level="highestAvailable"' <<<"$manifest" ||
  ks_fail "the manifest does not ask for highestAvailable"
echo "ok: manifest"
ks_expect "icon" "$(ks_drv icon "$exe" 32512)" "16x16 32bit
32x32 32bit"

# Each template shown on its own (no program behind it), photographed.
for id in 101 102 109 111 112 113; do
  wine "$KS_BIN/ksdriver.exe" template "$exe" "$id" </dev/null >"$KS_WORK/template-$id.txt" 2>&1 &
  h=$(ks_find -control 2 -class '#32770' -timeout 10000)
  ks_shot "template-$id"
  ks_drv close "$h"
  wait
done
