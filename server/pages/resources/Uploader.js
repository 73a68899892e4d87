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
var totalBytes = 0;
var progress = [];
function uploadFiles(files) {
	totalBytes = 0;
	for (var i = 0; i < files.length; i++) {
		totalBytes += files[i].size;
	}
	console.log(totalBytes);
	progress = [];
	var batch = new FormData();
	var batchBytes = 0;
	var batchFiles = 0;
	for (var i = 0; i < files.length; i++) {
		if ((batchBytes + files[i].size >= 8000000 && batchFiles > 0) || batchFiles >= 20) {
			uploadFormData(batch, progress.length);
			batch = new FormData();
			batchBytes = 0;
			batchFiles = 0;
		}
		batch.append('userfile', files[i]);
		batchBytes += files[i].size;
		batchFiles++;
	}
	if (batchFiles > 0) {
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
function uploadFormData(formData, slot) {
	progress[slot] = 0;
	$('#result').text('');
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
		if (data.state == 'success') {
			$('#result').text('成功');
		} else if (data.state == 'refused') {
			$('#result').text('拒否');
		} else {
			$('#result').text('失敗');
		}
	}).fail(function () {
		$('#result').text('失敗');
	});
}
