$(function () {
	var area = $('#drag-area');
	// Returning false keeps the browser from opening a dragged file itself.
	area.on('dragenter dragover', function () {
		return false;
	});
	area.on('drop', function (e) {
		e.preventDefault();
		uploadFiles(e.originalEvent.dataTransfer.files);
		return false;
	});
	$('#btn').on('click', function () {
		$('#file_selecter').click();
	});
	$('#file_selecter').on('change', function () {
		uploadFiles(this.files);
		// Choosing the same files again is a change too.
		this.value = '';
	});
});
// A post may hold this many bytes; a file that cannot fit in one is not sent.
var maxFileBytes = {{max_file_bytes}};
var stateWords = {success: '成功', refused: '拒否', failure: '失敗'};
var reasonWords = {
	type: '受け付けない種類のファイルです',
	content: '中身がその種類の画像ではありません',
	name: 'ファイル名に使えない文字があります',
	rights: 'アップロードの権限がありません',
	size: '大きすぎます',
	folder: '保存先のフォルダに書き込めません',
	busy: 'サーバーが混み合っています',
	write: '書き込みに失敗しました',
	network: '送信できませんでした'
};
var totalBytes = 0;
var progress = [];
function uploadFiles(files) {
	totalBytes = 0;
	for (var i = 0; i < files.length; i++) {
		totalBytes += files[i].size;
	}
	console.log(totalBytes);
	progress = [];
	$('#result').empty();
	var batch = [];
	var batchBytes = 0;
	for (var i = 0; i < files.length; i++) {
		if (files[i].size > maxFileBytes) {
			totalBytes -= files[i].size;
			showResult(files[i].name, 'refused', 'size', '');
			continue;
		}
		if ((batchBytes + files[i].size >= 8000000 && batch.length > 0) || batch.length >= 20) {
			uploadFormData(batch, progress.length);
			batch = [];
			batchBytes = 0;
		}
		batch.push(files[i]);
		batchBytes += files[i].size;
	}
	if (batch.length > 0) {
		uploadFormData(batch, progress.length);
	}
}
function showProgress() {
	var sent = 0;
	for (var i = 0; i < progress.length; i++) {
		sent += progress[i];
	}
	// The bytes sent include each part's header lines, so the sum may pass the total.
	var percent = totalBytes > 0 ? Math.min(100, parseInt(sent / totalBytes * 100)) : 100;
	$('#prog').val(percent);
	$('#pv').text(percent);
}
// One line of #result for one file: its state, its name, and where it went or why not. The
// names are the user's own, so they go in as text.
function showResult(name, state, reason, saved) {
	var line = (stateWords[state] || stateWords.failure) + ': ' + name;
	if (state == 'success' && saved && saved != name) {
		line += ' (' + saved + ' として保存)';
	} else if (state != 'success') {
		line += ' (' + (reasonWords[reason] || reasonWords.write) + ')';
	}
	$('<div class="file-result">').attr('data-state', state).text(line).appendTo('#result');
}
function uploadFormData(batch, slot) {
	progress[slot] = 0;
	var formData = new FormData();
	for (var i = 0; i < batch.length; i++) {
		formData.append('userfile', batch[i]);
	}
	$.ajax({
		url: 'upload.php',
		type: 'POST',
		data: formData,
		cache: false,
		processData: false,
		contentType: false,
		dataType: 'json',
		xhr: function () {
			var xhr = $.ajaxSettings.xhr();
			xhr.upload.addEventListener('progress', function (e) {
				progress[slot] = e.loaded;
				showProgress();
			});
			return xhr;
		}
	}).done(function (data) {
		// Each file's own result, in the order sent; a post refused as a whole (no right to
		// upload) has one for all of its files.
		for (var i = 0; i < batch.length; i++) {
			var file = data.files && data.files[i];
			if (file) {
				showResult(batch[i].name, file.state, file.reason, file.saved);
			} else {
				showResult(batch[i].name, data.state, data.reason, '');
			}
		}
	}).fail(function () {
		for (var i = 0; i < batch.length; i++) {
			showResult(batch[i].name, 'failure', 'network', '');
		}
	});
}
