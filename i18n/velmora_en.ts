<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="en" sourcelanguage="ja">
<context>
    <name>LoopCheckShown</name>
    <message>
        <source>合格</source>
        <translation>Pass</translation>
    </message>
    <message>
        <source>要調整</source>
        <translation>Adjust</translation>
    </message>
    <message>
        <source>不合格</source>
        <translation>Fail</translation>
    </message>
    <message>
        <source>中止</source>
        <translation>Aborted</translation>
    </message>
    <message>
        <source>調整前</source>
        <translation>As found</translation>
    </message>
    <message>
        <source>調整後</source>
        <translation>As left</translation>
    </message>
    <message>
        <source>調整前・調整後</source>
        <translation>As found and left</translation>
    </message>
</context>
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
    <name>velmora::CLoopCheckDlg</name>
    <message>
        <source>ループチェック</source>
        <translation>Loop check</translation>
    </message>
    <message>
        <source>ループチェックのデータベースの置き場所がありません（HOME が設定されていません）</source>
        <translation>There is no place for the loop-check database (HOME is not set)</translation>
    </message>
    <message>
        <source>タグ</source>
        <translation>Tag</translation>
    </message>
    <message>
        <source>説明</source>
        <translation>Description</translation>
    </message>
    <message>
        <source>場所</source>
        <translation>Location</translation>
    </message>
    <message>
        <source>CH</source>
        <translation>CH</translation>
    </message>
    <message>
        <source>出力レンジ</source>
        <translation>Output range</translation>
    </message>
    <message>
        <source>スパン</source>
        <translation>Span</translation>
    </message>
    <message>
        <source>許容差</source>
        <translation>Tolerance</translation>
    </message>
    <message>
        <source>前回の点検</source>
        <translation>Last test</translation>
    </message>
    <message>
        <source>判定</source>
        <translation>Verdict</translation>
    </message>
    <message>
        <source>追加(&amp;A)...</source>
        <translation>&amp;Add...</translation>
    </message>
    <message>
        <source>編集(&amp;E)...</source>
        <translation>&amp;Edit...</translation>
    </message>
    <message>
        <source>削除(&amp;D)</source>
        <translation>&amp;Remove</translation>
    </message>
    <message>
        <source>CSV 読込(&amp;I)...</source>
        <translation>&amp;Import CSV...</translation>
    </message>
    <message>
        <source>CSV 書出(&amp;X)...</source>
        <translation>E&amp;xport CSV...</translation>
    </message>
    <message>
        <source>点検開始 (調整前)(&amp;F)</source>
        <translation>Start as &amp;found</translation>
    </message>
    <message>
        <source>点検開始 (調整後)(&amp;L)</source>
        <translation>Start as &amp;left</translation>
    </message>
    <message>
        <source>履歴(&amp;H)...</source>
        <translation>&amp;History...</translation>
    </message>
    <message>
        <source>記録の検証(&amp;V)</source>
        <translation>&amp;Verify results</translation>
    </message>
    <message>
        <source> (調整 %1 %)</source>
        <translation> (adjust %1 %)</translation>
    </message>
    <message>
        <source>未点検</source>
        <translation>Not tested yet</translation>
    </message>
    <message>
        <source>このタグはすでにあります</source>
        <translation>A tag of this name exists already</translation>
    </message>
    <message>
        <source>タグ %1 を追加しました</source>
        <translation>Tag %1 added</translation>
    </message>
    <message>
        <source>タグ %1 を変更しました</source>
        <translation>Tag %1 changed</translation>
    </message>
    <message>
        <source>タグ %1 を削除しますか？
このタグの点検結果は残ります。</source>
        <translation>Remove the tag %1?
Its test results are kept.</translation>
    </message>
    <message>
        <source>タグ %1 を削除しました</source>
        <translation>Tag %1 removed</translation>
    </message>
    <message>
        <source>タグの読込</source>
        <translation>Import tags</translation>
    </message>
    <message>
        <source>CSV ファイル (*.csv)</source>
        <translation>CSV file (*.csv)</translation>
    </message>
    <message>
        <source>すべてのファイル (*)</source>
        <translation>All files (*)</translation>
    </message>
    <message>
        <source>%1 を読めません（16 MiB までのファイルを選んでください）</source>
        <translation>%1 cannot be read (choose a file of at most 16 MiB)</translation>
    </message>
    <message>
        <source>%1: %2
何も読み込んでいません。</source>
        <translation>%1: %2
Nothing was imported.</translation>
    </message>
    <message>
        <source>次のタグの設定を CSV の内容で置き換えます。よろしいですか？
%1</source>
        <translation>The settings of these tags will be replaced by the CSV file&apos;s. Go ahead?
%1</translation>
    </message>
    <message>
        <source>%1 件のタグを読み込みました</source>
        <translation>%1 tag(s) imported</translation>
    </message>
    <message>
        <source>タグの書出</source>
        <translation>Export tags</translation>
    </message>
    <message>
        <source>%1 に書き出せません。
%2</source>
        <translation>%1 cannot be written.
%2</translation>
    </message>
    <message>
        <source>%1 件のタグを %2 に書き出しました</source>
        <translation>%1 tag(s) exported to %2</translation>
    </message>
    <message>
        <source>調整後</source>
        <translation>As left</translation>
    </message>
    <message>
        <source>調整前</source>
        <translation>As found</translation>
    </message>
    <message>
        <source>技術者 %1</source>
        <translation>Technician %1</translation>
    </message>
    <message>
        <source>%1 の点検を開始できません。
%2</source>
        <translation>The test of %1 cannot start.
%2</translation>
    </message>
    <message>
        <source>%1 を点検中</source>
        <translation>Testing %1</translation>
    </message>
    <message>
        <source>%1: %2 (結果 %3)</source>
        <translation>%1: %2 (result %3)</translation>
    </message>
    <message>
        <source>結果を保存できませんでした: %1</source>
        <translation>The result could not be kept: %1</translation>
    </message>
    <message>
        <source>%1 件の結果を検証しました。どの結果も記録されたときのままです。</source>
        <translation>%1 result(s) verified. Every result is as it was kept.</translation>
    </message>
    <message>
        <source>記録の検証で不一致が見つかりました。
%1</source>
        <translation>The check of the results found one that does not match.
%1</translation>
    </message>
    <message>
        <source>点検中です。中止して、出力を点検前に戻しますか？</source>
        <translation>A test is running. Abort it and put the output back as it was before the test?</translation>
    </message>
    <message>
        <source>結果 %1 の訂正</source>
        <translation>correcting result %1</translation>
    </message>
    <message>
        <source>タグ %1 はもうありません</source>
        <translation>The tag %1 is gone</translation>
    </message>
    <message>
        <source>点検記録の書出</source>
        <translation>Write the Loop Check Record</translation>
    </message>
    <message>
        <source>PDF ファイル (*.pdf)</source>
        <translation>PDF files (*.pdf)</translation>
    </message>
    <message>
        <source>HTML ファイル (*.html)</source>
        <translation>HTML files (*.html)</translation>
    </message>
    <message>
        <source>点検記録を %1 に書き出しました</source>
        <translation>The loop check record was written to %1</translation>
    </message>
</context>
<context>
    <name>velmora::CLoopDriftChart</name>
    <message>
        <source>許容差 %1 %</source>
        <translation>Tolerance %1 %</translation>
    </message>
    <message>
        <source>調整限界 %1 %</source>
        <translation>Adjust limit %1 %</translation>
    </message>
    <message>
        <source>最大誤差 (スパンの %)</source>
        <translation>Largest error (% of span)</translation>
    </message>
    <message>
        <source>調整前の点検結果はまだありません</source>
        <translation>No as-found results yet</translation>
    </message>
</context>
<context>
    <name>velmora::CLoopHistoryDlg</name>
    <message>
        <source>番号</source>
        <translation>No.</translation>
    </message>
    <message>
        <source>日時</source>
        <translation>Date</translation>
    </message>
    <message>
        <source>種別</source>
        <translation>Kind</translation>
    </message>
    <message>
        <source>技術者</source>
        <translation>Technician</translation>
    </message>
    <message>
        <source>判定</source>
        <translation>Verdict</translation>
    </message>
    <message>
        <source>最大誤差 (%)</source>
        <translation>Largest error (%)</translation>
    </message>
    <message>
        <source>訂正</source>
        <translation>Correction</translation>
    </message>
    <message>
        <source>ループチェック - 履歴 %1</source>
        <translation>Loop check - history of %1</translation>
    </message>
    <message>
        <source>%1 を訂正: %2</source>
        <translation>corrects %1: %2</translation>
    </message>
    <message>
        <source>%1 により訂正済み</source>
        <translation>corrected by %1</translation>
    </message>
    <message>
        <source>訂正の点検(&amp;C)...</source>
        <translation>Test as a &amp;correction...</translation>
    </message>
    <message>
        <source>選んだ結果を訂正する点検を行います。元の結果はそのまま残ります</source>
        <translation>Runs a test that corrects the chosen result. The result itself stays as it was kept</translation>
    </message>
    <message>
        <source>記録の書出(&amp;R)...</source>
        <translation>Write &amp;Record...</translation>
    </message>
    <message>
        <source>選んだ結果の記録を PDF、HTML または CSV に書き出します。選んでいなければ最新の点検の記録です</source>
        <translation>Writes the record of the chosen result as PDF, HTML or CSV; with none chosen, the record of the latest check</translation>
    </message>
</context>
<context>
    <name>velmora::CLoopStartDlg</name>
    <message>
        <source>点検開始</source>
        <translation>Start a test</translation>
    </message>
    <message>
        <source>技術者(&amp;N)</source>
        <translation>Tech&amp;nician</translation>
    </message>
    <message>
        <source>備考(&amp;R)</source>
        <translation>&amp;Remark</translation>
    </message>
    <message>
        <source>開始</source>
        <translation>Start</translation>
    </message>
    <message>
        <source>キャンセル</source>
        <translation>Cancel</translation>
    </message>
    <message>
        <source>技術者の名前を入力してください</source>
        <translation>Enter the technician&apos;s name</translation>
    </message>
    <message>
        <source>訂正の理由(&amp;W)</source>
        <translation>&amp;Why corrected</translation>
    </message>
    <message>
        <source>訂正の理由を入力してください</source>
        <translation>Enter why the result is corrected</translation>
    </message>
</context>
<context>
    <name>velmora::CLoopTagDlg</name>
    <message>
        <source>タグの追加</source>
        <translation>Add a tag</translation>
    </message>
    <message>
        <source>タグの編集</source>
        <translation>Edit the tag</translation>
    </message>
    <message>
        <source>タグ(&amp;T)</source>
        <translation>&amp;Tag</translation>
    </message>
    <message>
        <source>例: FT-101</source>
        <translation>e.g. FT-101</translation>
    </message>
    <message>
        <source>説明</source>
        <translation>Description</translation>
    </message>
    <message>
        <source>場所</source>
        <translation>Location</translation>
    </message>
    <message>
        <source>チャンネル</source>
        <translation>Channel</translation>
    </message>
    <message>
        <source>出力レンジ</source>
        <translation>Output range</translation>
    </message>
    <message>
        <source>LRV (0 %)</source>
        <translation>LRV (0 %)</translation>
    </message>
    <message>
        <source>URV (100 %)</source>
        <translation>URV (100 %)</translation>
    </message>
    <message>
        <source>単位</source>
        <translation>Unit</translation>
    </message>
    <message>
        <source>例: m³/h</source>
        <translation>e.g. m³/h</translation>
    </message>
    <message>
        <source>直線</source>
        <translation>Linear</translation>
    </message>
    <message>
        <source>開平 (差圧流量)</source>
        <translation>Square root (differential-pressure flow)</translation>
    </message>
    <message>
        <source>伝達関数</source>
        <translation>Transfer</translation>
    </message>
    <message>
        <source>試験点 (信号の %)</source>
        <translation>Test points (% of signal)</translation>
    </message>
    <message>
        <source>下りも点検するときは 0,25,50,75,100,75,50,25,0 のように続けます</source>
        <translation>To check the way down as well, go on like 0,25,50,75,100,75,50,25,0</translation>
    </message>
    <message>
        <source>許容差 (スパンの %)</source>
        <translation>Tolerance (% of span)</translation>
    </message>
    <message>
        <source>調整限界 (スパンの %)</source>
        <translation>Adjust limit (% of span)</translation>
    </message>
    <message>
        <source>なし</source>
        <translation>none</translation>
    </message>
    <message>
        <source>安定待ち (秒)</source>
        <translation>Settle time (s)</translation>
    </message>
    <message>
        <source>受信側の小数桁</source>
        <translation>Receiver&apos;s decimals</translation>
    </message>
    <message>
        <source>OK</source>
        <translation>OK</translation>
    </message>
    <message>
        <source>キャンセル</source>
        <translation>Cancel</translation>
    </message>
    <message>
        <source>数値を入力してください</source>
        <translation>Enter a number</translation>
    </message>
    <message>
        <source>0,25,50,75,100 のように、カンマで区切った数値を入力してください</source>
        <translation>Enter numbers separated by commas, like 0,25,50,75,100</translation>
    </message>
</context>
<context>
    <name>velmora::CLoopTestView</name>
    <message>
        <source>ループチェック - 点検</source>
        <translation>Loop check - test</translation>
    </message>
    <message>
        <source>試験点</source>
        <translation>Point</translation>
    </message>
    <message>
        <source>出力信号</source>
        <translation>Signal out</translation>
    </message>
    <message>
        <source>期待値</source>
        <translation>Expected</translation>
    </message>
    <message>
        <source>状態</source>
        <translation>State</translation>
    </message>
    <message>
        <source>読み値(&amp;R)</source>
        <translation>&amp;Reading</translation>
    </message>
    <message>
        <source>入力</source>
        <translation>Take</translation>
    </message>
    <message>
        <source>点</source>
        <translation>Point</translation>
    </message>
    <message>
        <source>信号 %</source>
        <translation>Signal %</translation>
    </message>
    <message>
        <source>出力</source>
        <translation>Output</translation>
    </message>
    <message>
        <source>読み値</source>
        <translation>Reading</translation>
    </message>
    <message>
        <source>誤差 (スパンの %)</source>
        <translation>Error (% of span)</translation>
    </message>
    <message>
        <source>判定</source>
        <translation>Verdict</translation>
    </message>
    <message>
        <source>中止(&amp;A)</source>
        <translation>&amp;Abort</translation>
    </message>
    <message>
        <source>閉じる</source>
        <translation>Close</translation>
    </message>
    <message>
        <source>%1 / %2 (%3 %)</source>
        <translation>%1 of %2 (%3 %)</translation>
    </message>
    <message>
        <source>安定待ち %1 秒</source>
        <translation>Settling: %1 s</translation>
    </message>
    <message>
        <source>読み値を入力</source>
        <translation>Enter the reading</translation>
    </message>
    <message>
        <source>終了</source>
        <translation>Done</translation>
    </message>
    <message>
        <source>中止</source>
        <translation>Aborted</translation>
    </message>
    <message>
        <source>総合判定: %1 (%2)</source>
        <translation>Overall verdict: %1 (%2)</translation>
    </message>
    <message>
        <source>中止の理由: %1</source>
        <translation>Why it ended: %1</translation>
    </message>
    <message>
        <source>結果 %1&#x3000;ハッシュ %2</source>
        <translation>Result %1  hash %2</translation>
    </message>
    <message>
        <source>結果を保存できませんでした: %1</source>
        <translation>The result could not be kept: %1</translation>
    </message>
    <message>
        <source>数値ではありません</source>
        <translation>Not a number</translation>
    </message>
    <message>
        <source>安定待ちです。あと %1 秒</source>
        <translation>Still settling: %1 s to go</translation>
    </message>
    <message>
        <source>点検は終わっています</source>
        <translation>The test has ended</translation>
    </message>
    <message>
        <source>点検中です。中止して、出力を点検前に戻しますか？</source>
        <translation>A test is running. Abort it and put the output back as it was before the test?</translation>
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
    <message>
        <source>ループチェック(&amp;L)</source>
        <translation>&amp;Loop check</translation>
    </message>
    <message>
        <source>タグ一覧(&amp;T)...</source>
        <translation>&amp;Tags...</translation>
    </message>
    <message>
        <source>記録の検証(&amp;V)</source>
        <translation>&amp;Verify results</translation>
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
