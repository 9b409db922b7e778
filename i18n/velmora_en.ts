<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="en" sourcelanguage="ja">
<context>
    <name>velmora::CAboutDlg</name>
    <message>
        <source>バージョン情報 Velmora</source>
        <translation>About Velmora</translation>
    </message>
</context>
<context>
    <name>velmora::CAutoOutDlg</name>
    <message>
        <source>チャンネル</source>
        <translation>Channel</translation>
    </message>
    <message>
        <source>レンジ</source>
        <translation>Range</translation>
    </message>
    <message>
        <source>最小値</source>
        <translation>Minimum</translation>
    </message>
    <message>
        <source>最大値</source>
        <translation>Maximum</translation>
    </message>
    <message>
        <source>繰返し</source>
        <translation>Repeat</translation>
    </message>
    <message>
        <source>秒</source>
        <translation>s</translation>
    </message>
    <message>
        <source>回</source>
        <translation>x</translation>
    </message>
    <message>
        <source>任意読込</source>
        <translation>Load table</translation>
    </message>
    <message>
        <source>戻る</source>
        <translation>Back</translation>
    </message>
</context>
<context>
    <name>velmora::CCalDlg</name>
    <message>
        <source>全ユーザー調整値を初期化しますか？</source>
        <translation>Initialise every user adjustment?</translation>
    </message>
    <message>
        <source>調整値が変更されています。保存しますか？</source>
        <translation>The adjustment has changed. Save it?</translation>
    </message>
    <message>
        <source>アナログ出力調整</source>
        <translation>Analog Output Adjustment</translation>
    </message>
    <message>
        <source>レンジ</source>
        <translation>Range</translation>
    </message>
    <message>
        <source>調整値選択</source>
        <translation>Adjustment in use</translation>
    </message>
    <message>
        <source>調整無効</source>
        <translation>None</translation>
    </message>
    <message>
        <source>メーカー調整有効</source>
        <translation>Maker&apos;s</translation>
    </message>
    <message>
        <source>ユーザー調整有効</source>
        <translation>User&apos;s</translation>
    </message>
    <message>
        <source>ユーザー出力調整</source>
        <translation>User output adjustment</translation>
    </message>
    <message>
        <source>最小</source>
        <translation>Minimum</translation>
    </message>
    <message>
        <source>最大</source>
        <translation>Maximum</translation>
    </message>
    <message>
        <source>全ユーザー調整初期化</source>
        <translation>Reset all user adjustments</translation>
    </message>
    <message>
        <source>キャンセル</source>
        <translation>Cancel</translation>
    </message>
    <message>
        <source>最小値&#x3000;出力</source>
        <translation>Output minimum</translation>
    </message>
    <message>
        <source>最大値&#x3000;出力</source>
        <translation>Output maximum</translation>
    </message>
    <message>
        <source>補正値</source>
        <translation>Corr.</translation>
    </message>
</context>
<context>
    <name>velmora::CDacSelect</name>
    <message>
        <source>選択</source>
        <translation>Select</translation>
    </message>
    <message>
        <source>接続ユニットの回路数を選択してください</source>
        <translation>Choose the connected unit&apos;s circuits</translation>
    </message>
    <message>
        <source>１ 回路用</source>
        <translation>1 circuit</translation>
    </message>
    <message>
        <source>２ 回路用</source>
        <translation>2 circuits</translation>
    </message>
    <message>
        <source>キャンセル</source>
        <translation>Cancel</translation>
    </message>
</context>
<context>
    <name>velmora::CEditListCtrl</name>
    <message>
        <source>順番</source>
        <translation>No.</translation>
    </message>
    <message>
        <source>値</source>
        <translation>Value</translation>
    </message>
    <message>
        <source>更新間隔</source>
        <translation>Interval</translation>
    </message>
</context>
<context>
    <name>velmora::CMainFrame</name>
    <message>
        <source>ファイル(&amp;F)</source>
        <translation>&amp;File</translation>
    </message>
    <message>
        <source>新規設定(&amp;N)</source>
        <translation>&amp;New Settings</translation>
    </message>
    <message>
        <source>開く(&amp;O)...</source>
        <translation>&amp;Open...</translation>
    </message>
    <message>
        <source>上書き保存(&amp;S)</source>
        <translation>&amp;Save</translation>
    </message>
    <message>
        <source>名前を付けて保存(&amp;A)...</source>
        <translation>Save &amp;As...</translation>
    </message>
    <message>
        <source>最近使った設定</source>
        <translation>Recent Settings</translation>
    </message>
    <message>
        <source>アプリケーションの終了(&amp;X)</source>
        <translation>E&amp;xit</translation>
    </message>
    <message>
        <source>設定</source>
        <translation>Settings</translation>
    </message>
    <message>
        <source>アナログ出力調整</source>
        <translation>Analog Output Adjustment</translation>
    </message>
    <message>
        <source>ヘルプ(&amp;H)</source>
        <translation>&amp;Help</translation>
    </message>
    <message>
        <source>発生器&#x3000;情報</source>
        <translation>Generator Information</translation>
    </message>
    <message>
        <source>発生器&#x3000;ファームウェア更新</source>
        <translation>Generator Firmware Update</translation>
    </message>
    <message>
        <source>バージョン情報 Velmora(&amp;A)...</source>
        <translation>&amp;About Velmora...</translation>
    </message>
    <message>
        <source>リモート制御 (SCPI)</source>
        <translation>Remote control (SCPI)</translation>
    </message>
    <message>
        <source>表示(&amp;V)</source>
        <translation>&amp;View</translation>
    </message>
    <message>
        <source>トレンド(&amp;T)</source>
        <translation>&amp;Trend</translation>
    </message>
    <message>
        <source>各チャンネルの出力の推移を実行記録から表示します</source>
        <translation>Shows each channel&apos;s output over time from the run record</translation>
    </message>
</context>
<context>
    <name>velmora::CPresetDlg</name>
    <message>
        <source>設定値</source>
        <translation>Presets</translation>
    </message>
    <message>
        <source>チャンネル</source>
        <translation>Channel</translation>
    </message>
    <message>
        <source>最小値</source>
        <translation>Minimum</translation>
    </message>
    <message>
        <source>最大値</source>
        <translation>Maximum</translation>
    </message>
    <message>
        <source>戻る</source>
        <translation>Back</translation>
    </message>
</context>
<context>
    <name>velmora::CProgramUp</name>
    <message>
        <source>ファームウェア更新</source>
        <translation>Firmware Update</translation>
    </message>
    <message>
        <source>更新ファームウェア</source>
        <translation>Firmware to load</translation>
    </message>
    <message>
        <source>ファイル選択</source>
        <translation>Choose File</translation>
    </message>
    <message>
        <source>更新ファームウェアを選択してください</source>
        <translation>Choose the firmware to load</translation>
    </message>
    <message>
        <source>更新</source>
        <translation>Update</translation>
    </message>
    <message>
        <source>キャンセル</source>
        <translation>Cancel</translation>
    </message>
    <message>
        <source>更新してください</source>
        <translation>Press Update</translation>
    </message>
    <message>
        <source>戻る</source>
        <translation>Back</translation>
    </message>
</context>
<context>
    <name>velmora::CRangeSelectDlg</name>
    <message>
        <source>出力レンジ選択</source>
        <translation>Output Range</translation>
    </message>
    <message>
        <source>キャンセル</source>
        <translation>Cancel</translation>
    </message>
    <message>
        <source>電流</source>
        <translation>Current</translation>
    </message>
    <message>
        <source>電圧</source>
        <translation>Voltage</translation>
    </message>
    <message>
        <source>内部電源</source>
        <translation>Internal supply</translation>
    </message>
    <message>
        <source>外部電源</source>
        <translation>External supply</translation>
    </message>
</context>
<context>
    <name>velmora::CRemoteControl</name>
    <message>
        <source>%1 はこのコンピューターの外から届くアドレスです。--scpi-allow で許可するネットワークを指定してください。</source>
        <translation>%1 can be reached from beyond this computer. Name the networks allowed in with --scpi-allow.</translation>
    </message>
</context>
<context>
    <name>velmora::CScaleDlg</name>
    <message>
        <source>最小値</source>
        <translation>Minimum</translation>
    </message>
    <message>
        <source>最大値</source>
        <translation>Maximum</translation>
    </message>
    <message>
        <source>換算式</source>
        <translation>Conversion</translation>
    </message>
    <message>
        <source>チャンネル</source>
        <translation>Channel</translation>
    </message>
    <message>
        <source>アナログ値</source>
        <translation>Analog</translation>
    </message>
    <message>
        <source>換算値</source>
        <translation>Converted value</translation>
    </message>
    <message>
        <source>(有効桁数5桁）</source>
        <translation>(5 significant digits)</translation>
    </message>
    <message>
        <source>キャンセル</source>
        <translation>Cancel</translation>
    </message>
</context>
<context>
    <name>velmora::CTrendChart</name>
    <message>
        <source>アラーム</source>
        <translation>Alarm</translation>
    </message>
    <message>
        <source>未接続</source>
        <translation>Not connected</translation>
    </message>
    <message>
        <source>自動出力</source>
        <translation>Automatic output</translation>
    </message>
    <message>
        <source>一時停止</source>
        <translation>Paused</translation>
    </message>
    <message>
        <source>CH%1 出力</source>
        <translation>CH%1 output</translation>
    </message>
    <message>
        <source>CH%1 換算値</source>
        <translation>CH%1 converted value</translation>
    </message>
    <message>
        <source>CH%1 出力 [%2]</source>
        <translation>CH%1 output [%2]</translation>
    </message>
    <message>
        <source>時刻 (UTC%1)</source>
        <translation>Time (UTC%1)</translation>
    </message>
    <message>
        <source>アラーム: %1</source>
        <translation>Alarm: %1</translation>
    </message>
    <message>
        <source>自動出力: %1</source>
        <translation>Automatic output: %1</translation>
    </message>
    <message>
        <source>実行中</source>
        <translation>running</translation>
    </message>
    <message>
        <source>出力ＯＦＦ</source>
        <translation>Output off</translation>
    </message>
</context>
<context>
    <name>velmora::CTrendDlg</name>
    <message>
        <source>トレンド</source>
        <translation>Trend</translation>
    </message>
    <message>
        <source>ライブ</source>
        <translation>Live</translation>
    </message>
    <message>
        <source>最新の記録を表示し続けます</source>
        <translation>Keeps showing the newest of the record</translation>
    </message>
    <message>
        <source>表示幅</source>
        <translation>Span</translation>
    </message>
    <message>
        <source>1 分</source>
        <translation>1 min</translation>
    </message>
    <message>
        <source>10 分</source>
        <translation>10 min</translation>
    </message>
    <message>
        <source>1 時間</source>
        <translation>1 h</translation>
    </message>
    <message>
        <source>8 時間</source>
        <translation>8 h</translation>
    </message>
    <message>
        <source>1 日</source>
        <translation>1 day</translation>
    </message>
    <message>
        <source>7 日</source>
        <translation>7 days</translation>
    </message>
    <message>
        <source>31 日</source>
        <translation>31 days</translation>
    </message>
    <message>
        <source>縮小</source>
        <translation>Zoom out</translation>
    </message>
    <message>
        <source>拡大</source>
        <translation>Zoom in</translation>
    </message>
    <message>
        <source>開始</source>
        <translation>Start</translation>
    </message>
    <message>
        <source>書き出し</source>
        <translation>Export</translation>
    </message>
    <message>
        <source>PNG 画像(&amp;P)...</source>
        <translation>&amp;PNG image...</translation>
    </message>
    <message>
        <source>SVG 画像(&amp;S)...</source>
        <translation>&amp;SVG image...</translation>
    </message>
    <message>
        <source>CSV ファイル(&amp;C)...</source>
        <translation>&amp;CSV file...</translation>
    </message>
    <message>
        <source>読込中…</source>
        <translation>Loading…</translation>
    </message>
    <message>
        <source>イベント %1 件</source>
        <translation>%1 events</translation>
    </message>
    <message>
        <source>記録を読めません: %1</source>
        <translation>Cannot read the record: %1</translation>
    </message>
    <message>
        <source>この期間の記録はありません</source>
        <translation>The record holds nothing for this period</translation>
    </message>
    <message>
        <source>%1 件を %2 に書き出しました</source>
        <translation>%1 events written to %2</translation>
    </message>
    <message>
        <source>PNG 画像 (*.png)</source>
        <translation>PNG image (*.png)</translation>
    </message>
    <message>
        <source>SVG 画像 (*.svg)</source>
        <translation>SVG image (*.svg)</translation>
    </message>
    <message>
        <source>CSV ファイル (*.csv)</source>
        <translation>CSV file (*.csv)</translation>
    </message>
    <message>
        <source>ホイール: 拡大・縮小&#x3000;ドラッグ: その範囲を拡大&#x3000;右ドラッグ: 移動</source>
        <translation>Wheel: zoom   Drag: zoom to the range   Right-drag: scroll</translation>
    </message>
</context>
<context>
    <name>velmora::CVelmoraApp</name>
    <message>
        <source>すべてのファイル (*.*)</source>
        <translation>All files (*.*)</translation>
    </message>
    <message>
        <source>開く</source>
        <translation>Open</translation>
    </message>
    <message>
        <source>名前を付けて保存</source>
        <translation>Save As</translation>
    </message>
    <message>
        <source>無題</source>
        <translation>Untitled</translation>
    </message>
    <message>
        <source>SCPI の待ち受けを開始できません。
%1</source>
        <translation>SCPI cannot listen.
%1</translation>
    </message>
    <message>
        <source>リモート操作中</source>
        <translation>Held remotely</translation>
    </message>
    <message>
        <source>リモート %1</source>
        <translation>Remote %1</translation>
    </message>
    <message>
        <source>SCPI: %1 で待ち受け中</source>
        <translation>SCPI: listening on %1</translation>
    </message>
    <message>
        <source>接続中のクライアント: %1</source>
        <translation>Clients connected: %1</translation>
    </message>
    <message>
        <source>リモートのクライアントがパネルの出力操作を占有しています（SYSTem:LOCal で解除）</source>
        <translation>A remote client holds the panel&apos;s output controls (SYSTem:LOCal gives them back)</translation>
    </message>
    <message>
        <source>リモート制御 (SCPI %1)</source>
        <translation>Remote control (SCPI %1)</translation>
    </message>
    <message>
        <source>リモート制御 (SCPI)</source>
        <translation>Remote control (SCPI)</translation>
    </message>
    <message>
        <source>記録なし</source>
        <translation>Not recording</translation>
    </message>
    <message>
        <source>記録できません</source>
        <translation>Record failing</translation>
    </message>
    <message>
        <source>--no-record で起動したため、実行記録がありません</source>
        <translation>Started with --no-record: this run keeps no record</translation>
    </message>
    <message>
        <source>実行記録の置き場所がありません（HOME が設定されていません）</source>
        <translation>No place for the run record (HOME is not set)</translation>
    </message>
</context>
<context>
    <name>velmora::CVelmoraView</name>
    <message>
        <source>リモートのクライアントが操作中です（SYSTem:LOCal で解除）</source>
        <translation>A remote client holds these controls (SYSTem:LOCal gives them back)</translation>
    </message>
</context>
<context>
    <name>velmora::ConverterVersionDlg</name>
    <message>
        <source>発生器&#x3000;情報</source>
        <translation>Generator Information</translation>
    </message>
    <message>
        <source>キャンセル</source>
        <translation>Cancel</translation>
    </message>
</context>
</TS>
